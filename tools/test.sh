#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# One command from a fresh Debian 12 machine (as root) to every test result:
# installs what is missing, configures, builds and runs CTest for the Qt 5 /
# KF5 build (Debian 12), then does the same for the Qt 6 / KF6 build inside a
# Debian 13 root (tools/test-release13.sh). Arguments go to both CTest runs.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-$src/build}

bash tools/build.sh "$build"
bash sandbox/prepare.sh "$build"
status=0
(cd "$build" && ctest --output-on-failure --timeout 600 "$@") || status=$?
echo "== Debian 13, Qt 6 / KF6 =="
BUILD_DIR=$build bash tools/test-release13.sh "$@" || status=$?
exit "$status"
