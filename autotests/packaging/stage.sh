#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Installs the build into a staging folder the way a package would lay it
# out (prefix /usr under DESTDIR, so even an absolute install path stays in
# the folder) and checks the tree.
#
#   stage.sh SOURCE_DIR BUILD_DIR STAGE_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR STAGE_DIR" >&2; exit 2; }
src=$1
build=$2
stage=$3
case $stage in
/|/usr|/usr/*|/etc|/etc/*) echo "stage.sh: refusing to stage into $stage" >&2; exit 2 ;;
esac
rm -rf "$stage"
mkdir -p "$stage"
DESTDIR=$(realpath "$stage") cmake --install "$build" --prefix /usr
bash "$src/autotests/packaging/check-tree.sh" "$stage"
