#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Installs what is missing, configures and builds into BUILD (default build/).
# Shared by the test and open commands so both build the same tree.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${1:-${BUILD_DIR:-$src/build}}

bash tools/install-deps.sh
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build "$build" --parallel "$(nproc)"
