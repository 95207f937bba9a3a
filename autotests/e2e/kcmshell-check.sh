#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Opens the module in kcmshell5 under Xvfb (run inside the sandbox machine)
# and checks that it came up: kcmshell5 still runs after some seconds and the
# screenshot is not one flat colour.
#
#   kcmshell-check.sh SOURCE_DIR BUILD_DIR SCREENSHOT
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR SCREENSHOT" >&2; exit 2; }
src=$1
build=$2
shot=$3
rm -f "$shot"

env -u DISPLAY bash "$src/tools/module-session.sh" "$build" --screenshot "$shot" --wait 8

[ -s "$shot" ] || { echo "no screenshot at $shot" >&2; exit 1; }
deviation=$(convert "$shot" -format '%[fx:standard_deviation]' info:)
echo "Standard deviation of the screenshot: $deviation"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.01) }' || { echo "the screenshot is blank" >&2; exit 1; }
