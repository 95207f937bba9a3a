#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Extracts the translation template the KDE way. Run from anywhere:
#   bash po/Messages.sh              writes po/kcm_zel_admin_time.pot
#   podir=DIR bash po/Messages.sh    writes DIR/kcm_zel_admin_time.pot
# KDE's translation scripts set XGETTEXT, EXTRACTRC and podir; alone, we use
# plain xgettext with the KI18n keywords and our own extractor for .ui files.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
podir=${podir:-$PWD/po}
mkdir -p "$podir"
: "${XGETTEXT:=xgettext --from-code=UTF-8 -C --kde -ci18n -ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3 \
  -kki18n:1 -kki18nc:1c,2 -kki18np:1,2 -kki18ncp:1c,2,3 -kki18nd:2 -kki18ndc:2c,3 -kki18ndp:2,3 -kki18ndcp:2c,3,4 \
  -kI18N_NOOP:1 -kI18NC_NOOP:1c,2 --msgid-bugs-address=https://bugs.kde.org --package-name=kcm_zel_admin_time}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rc=$work/rc.cpp
: > "$rc"

# Sources of the module and the library; tests, benchmarks and build
# folders show nothing to users.
list() {
    find . \( -path ./autotests -o -path ./bench -o -path './build*' -o -path ./.git \) -prune -o \
        \( "$@" \) -print | sort
}

# Writes one i18n call per text of each form given, as extractrc would.
# With a context argument every text goes under that context (forms built by
# plain uic: Qt's translate() with the form's class as context); with an
# empty one, texts go without context (forms built with uic -tr tr2i18n,
# which looks them up in the catalog as they are). notr texts are left out.
extract_forms() {
    local mode=$1
    shift
    [ $# -gt 0 ] || return 0
    ZEL_UI_MODE=$mode perl -CSD -0777 -ne '
        my $mode = $ENV{ZEL_UI_MODE};
        my ($class) = /<class>\s*([^<]*?)\s*<\/class>/;
        sub unxml {
            my $t = shift;
            $t =~ s/&#x([0-9a-fA-F]+);/chr(hex($1))/ge;
            $t =~ s/&#([0-9]+);/chr($1)/ge;
            $t =~ s/&lt;/</g; $t =~ s/&gt;/>/g; $t =~ s/&quot;/"/g; $t =~ s/&apos;/\x27/g;
            $t =~ s/&amp;/&/g;
            return $t;
        }
        sub cstr {
            my $t = shift;
            $t =~ s/\\/\\\\/g; $t =~ s/"/\\"/g; $t =~ s/\n/\\n/g; $t =~ s/\r/\\r/g; $t =~ s/\t/\\t/g;
            return "\"$t\"";
        }
        while (/<string((?:\s+[a-z]+="[^"]*")*)\s*>(.*?)<\/string>/sg) {
            my ($attrs, $text) = ($1, unxml($2));
            next if $attrs =~ /\bnotr="true"/ || $text eq "";
            my ($comment) = $attrs =~ /\bcomment="([^"]*)"/;
            my $context = $mode eq "class" ? $class : (defined $comment ? unxml($comment) : "");
            if ($context ne "") {
                print "i18nc(", cstr($context), ", ", cstr($text), ");\n";
            } else {
                print "i18n(", cstr($text), ");\n";
            }
        }
    ' "$@"
}

# The module's forms (plain uic) keep their class names as context.
module_forms=$(list -name '*.ui' -not -path './logic/*')
# shellcheck disable=SC2086
extract_forms class $module_forms >> "$rc"

# The library's forms are compiled with uic -tr tr2i18n.
library_forms=$(list -name '*.ui' -path './logic/*')
if [ -n "${EXTRACTRC:-}" ]; then
    # shellcheck disable=SC2086
    $EXTRACTRC $library_forms >> "$rc"
else
    # shellcheck disable=SC2086
    extract_forms plain $library_forms >> "$rc"
fi

sources=$(list -name '*.cpp' -o -name '*.h')
# shellcheck disable=SC2086
$XGETTEXT -D "$work" -D . rc.cpp $sources -o "$podir/kcm_zel_admin_time.pot"
