#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# One command from a fresh Debian 12 machine (as root) to every test result:
# installs what is missing, configures, builds and runs CTest for the Debian 12
# (Qt 5 / KF5) build, then does the same for the Qt 6 / KF6 build inside the
# Debian 13 root (tools/test-release13.sh; the root is made when missing or
# half made). CTest arguments pass on to both. Fails when either suite fails,
# and when the Debian 13 root cannot be made, which it says in one line.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$(realpath -m "${BUILD_DIR:-$src/build}")

status=0
bash tools/build.sh "$build"
bash sandbox/prepare.sh "$build"
echo "=== Debian 12 (Qt 5 / KF5)"
# One test more than processors: many tests spend part of their time waiting
# for systemd and the daemons, which left a quarter of the processors idle.
(cd "$build" && ctest --output-on-failure --timeout 600 -j"$(($(nproc) + 1))" "$@") || status=1
echo "=== Debian 13 (Qt 6 / KF6)"
BUILD_DIR=$build bash tools/test-release13.sh "$@" || status=1
exit $status
