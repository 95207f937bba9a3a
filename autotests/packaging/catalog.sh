#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The translation catalog against the sources, with gettext's own tools:
#
#   catalog.sh SOURCE_DIR WORK_DIR
#
# The template extracted now holds every text the module shows
# (quoted-texts.txt); the Russian catalog translates all of it, keeps nothing
# the sources dropped, passes msgfmt's checks (placeholders, line ends,
# accelerators) and gives distinct accelerators to the actions of one menu.
set -euo pipefail
export LC_ALL=C.UTF-8
[ $# -eq 2 ] || { echo "usage: $0 SOURCE_DIR WORK_DIR" >&2; exit 2; }
src=$(realpath "$1")
work=$(realpath -m "$2")
ru=$src/po/ru/kcm_zel_admin_time.po
rm -rf "$work" && mkdir -p "$work"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

podir=$work bash "$src/po/Messages.sh"
pot=$work/kcm_zel_admin_time.pot

# The shown texts as a template of their own; the forms' contexts do not count.
{ echo 'msgid ""'; echo 'msgstr "Content-Type: text/plain; charset=UTF-8\n"'
  grep -v '^#' "$src/autotests/packaging/quoted-texts.txt" | sed 's/^/\nmsgid /; s/$/\nmsgstr ""/'; } > "$work/shown.pot"
sed '/^msgctxt /d' "$pot" | msguniq --use-first -o "$work/plain.pot"
# msgcmp DEF REF: every text of REF is in DEF (its notes on the rest are noise).
compare() {
    msgcmp "$@" 2>"$work/msgcmp.log" || { grep -v 'this message is not used' "$work/msgcmp.log" >&2; return 1; }
}
compare --use-untranslated "$work/plain.pot" "$work/shown.pot" || fail "the template lacks a text the module shows"
compare "$ru" "$pot" || fail "the Russian catalog leaves a text of the template untranslated or fuzzy"
compare --use-untranslated "$pot" "$ru" || fail "the Russian catalog keeps texts the sources no longer have"
msgfmt --check --check-accelerators='&' -o /dev/null "$ru" || fail "msgfmt --check"

# Actions that share a menu: File, and the service menu while stopped and while running.
accelerator() {
    msggrep --no-wrap -K -e "^$1\$" "$ru" | sed -n 's/^msgstr "\(.\+\)"$/\1/p' | head -1 | sed -n 's/.*&\(.\).*/\1/p' | sed 's/.*/\L&/'
}
menus=("&Reload configuration|&Save changes|Sync &time now"
       "D&isable service|St&op service|Rest&art service|Ser&vice settings|&Add service|&Delete service"
       "E&nable service|S&tart service|Rest&art service|Ser&vice settings|&Add service|&Delete service")
for menu in "${menus[@]}"; do
    IFS='|' read -ra actions <<< "$menu"
    keys=$(for action in "${actions[@]}"; do accelerator "$action"; done)
    [ "$(echo "$keys" | grep -c .)" -eq "${#actions[@]}" ] || fail "untranslated or without accelerator: $menu"
    [ -z "$(echo "$keys" | sort | uniq -d)" ] || fail "one accelerator twice in: $menu"
done
exit $status
