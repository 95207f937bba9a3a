#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# One command from a fresh Debian 12 machine (as root) to every test result:
# installs what is missing, configures, builds, and runs CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-$src/build}

bash tools/build.sh "$build"
bash sandbox/prepare.sh "$build"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
