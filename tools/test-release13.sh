#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The Qt 6 / KF6 flavour on Debian 13, in one command (run as root):
#
#   test-release13.sh [ctest arguments...]
#
# makes the Debian 13 root under BUILD_DIR (default build/) when it is missing
# or stale, then inside it configures the source with -DQT_MAJOR_VERSION=6
# into BUILD_DIR/deb13-build, builds, prepares the stock files of Debian 13's
# time services, and runs the tests that need no sandbox machine. Fails with
# one line when the root cannot be made. tools/test.sh runs it after the
# Debian 12 suite.
set -euo pipefail

if [ "${1:-}" = --in-root ]; then
    shift
    cd /build
    cmake -S /src -B /build -DQT_MAJOR_VERSION=6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/build/configure.log 2>&1 ||
        { tail -n 30 /build/configure.log; exit 1; }
    cmake --build /build --parallel "$(nproc)"
    # The services' packages came with the root; prepare.sh finds them there.
    mkdir -p /build/sandbox/debs
    cp -n /var/cache/zel-debs/*.deb /build/sandbox/debs/
    bash /src/sandbox/prepare.sh /build
    # The sandbox machine's tests and the fuzzer (clang) stay with Debian 12.
    exec ctest --output-on-failure --timeout 600 -LE 'sandbox|fuzz' -FS ZelSandbox -FC ZelSandbox "$@"
fi

cd "$(dirname "$0")/.."
build=$(realpath -m "${BUILD_DIR:-$PWD/build}")
bash tools/install-deps.sh >/dev/null
exec bash sandbox/release13.sh --build-dir "$build" -- bash /src/tools/test-release13.sh --in-root "$@"
