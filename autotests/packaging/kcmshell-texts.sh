#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Opens the module installed under PREFIX in kcmshell5 under Xvfb (run inside
# the sandbox machine), in English or in Russian, and checks what it shows:
# kcmshell5 still runs after some seconds, the screenshot is not blank, and
# the texts read from its widgets (by PROBE, preloaded into kcmshell5) are
# those of window-texts.tsv. In Russian, every text of the module must be
# translated.
#
#   kcmshell-texts.sh SOURCE_DIR BUILD_DIR PREFIX PROBE en|ru OUT_DIR
set -euo pipefail
[ $# -eq 6 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR PREFIX PROBE en|ru OUT_DIR" >&2; exit 2; }
src=$1
build=$2
prefix=$3
probe=$4
language=$5
out=$6
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES
case $language in
en) column=4 ;;
ru) column=5; export LANGUAGE=ru ;;
*) echo "kcmshell-texts.sh: no language $language" >&2; exit 2 ;;
esac

export ZEL_TEXT_PROBE_OUT=$out/texts.tsv ZEL_TEXT_PROBE_DELAY_MS=3000
shot=$out/kcmshell.png
env -u DISPLAY bash "$src/tools/module-session.sh" "$build" --prefix "$prefix" --preload "$probe" \
    --screenshot "$shot" --until "$ZEL_TEXT_PROBE_OUT"

[ -s "$shot" ] || { echo "no screenshot at $shot" >&2; exit 1; }
deviation=$(convert "$shot" -format '%[fx:standard_deviation]' info:)
echo "Standard deviation of the screenshot: $deviation"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.01) }' || { echo "the screenshot is blank" >&2; exit 1; }
[ -s "$ZEL_TEXT_PROBE_OUT" ] || { echo "kcmshell5 wrote no texts" >&2; exit 1; }

# Every expected record is there, and each of its occurrences shows the text.
awk -F'\t' -v column="$column" '
    FNR == NR {
        if ($0 ~ /^#/ || NF < 5) next
        k = $1 "\t" $2 "\t" $3
        want[k] = $column
        next
    }
    {
        k = $1 "\t" $2 "\t" $3
        if (!(k in want) || ($6 != 1 && $2 != "KCMShellMultiDialog")) next
        seen[k] = 1
        if ($4 != want[k]) { printf "FAIL: %s %s %s shows \"%s\", not \"%s\"\n", $1, $2, $3, $4, want[k]; bad = 1 }
    }
    END {
        for (k in want) if (!(k in seen)) { split(k, f, "\t"); printf "FAIL: no %s %s %s\n", f[1], f[2], f[3]; bad = 1 }
        exit bad
    }' "$here/window-texts.tsv" "$ZEL_TEXT_PROBE_OUT" || status=1

if [ "$language" = ru ]; then
    # Nothing of the module left in English. The tool bar keeps the form's
    # own title, as the window leaves it (it only shows in the tool bar's
    # context menu).
    awk -F'\t' '$6 == 1 && $4 !~ /[А-Яа-яЁё]/ && $4 ~ /[A-Za-z]/ && $4 != "toolBar" {
        printf "FAIL: untranslated: %s %s %s \"%s\"\n", $1, $2, $3, $4; bad = 1 } END { exit bad }' \
        "$ZEL_TEXT_PROBE_OUT" || status=1
fi
[ "${status:-0}" -eq 0 ] && echo "kcmshell5 shows the module's texts in $language."
exit "${status:-0}"
