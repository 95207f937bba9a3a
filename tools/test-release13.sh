#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The Qt 6 / KF6 flavour on Debian 13, in one command (run as root):
#
#   test-release13.sh [ctest arguments...]
#   test-release13.sh --install-deb
#
# makes the Debian 13 root under BUILD_DIR (default build/) when it is missing
# or stale, then inside it configures the source with -DQT_MAJOR_VERSION=6
# into BUILD_DIR/deb13-build, builds, prepares the sandbox machine from
# Debian 13's packages and runs the tests, those in the sandbox machine
# included: it starts there as on Debian 12, on Debian 13's own systemd,
# polkitd and daemons (sandbox/run.sh). Left out: the fuzzer (clang's, with
# Debian 12), the end-to-end checks that drive kcmshell5 (e2e-*,
# packaging-*kcmshell*) and the benchmarks (bench-*: their figures are
# Debian 12's; run one by hand with run.sh --release 13). Fails with one line when the root cannot be made.
# tools/test.sh runs it after the Debian 12 suite. --install-deb installs the package the suite built with apt
# into a throw-away copy of the root (no network: everything it needs must
# already be in the root) and opens the installed module in kcmshell6, with a
# screenshot in BUILD_DIR/deb13-build/deb-kcmshell6.png.
set -euo pipefail

if [ "${1:-}" = --in-root ]; then
    shift
    cd /build
    # Configured once; the build configures again when a CMake file changed.
    if [ ! -f /build/CMakeCache.txt ]; then
        cmake -S /src -B /build -DQT_MAJOR_VERSION=6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
            -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/build/configure.log 2>&1 ||
            { tail -n 30 /build/configure.log; rm -f /build/CMakeCache.txt; exit 1; }
    fi
    cmake --build /build --parallel "$(nproc)"
    # The services' packages came with the root; prepare.sh finds them there.
    bash /src/sandbox/prepare.sh /build
    exec ctest --output-on-failure --timeout 600 -j"$(nproc)" -LE fuzz -E '^(e2e-kcmshell-close|e2e-accessibility|packaging-.*kcmshell|bench-)' "$@"
fi

cd "$(dirname "$0")/.."
build=$(realpath -m "${BUILD_DIR:-$PWD/build}")
bash tools/install-deps.sh >/dev/null
if [ "${1:-}" = --install-deb ]; then
    exec bash sandbox/release13.sh --build-dir "$build" --scratch -- bash -c '
        set -e
        debs=(/build/autotests/packaging/deb/kcm-zel-admin-time_*.deb)
        [ -f "${debs[0]}" ] || { echo "no package: run tools/test-release13.sh first" >&2; exit 1; }
        apt-get install -y -q --no-install-recommends "${debs[0]}"
        bash /src/tools/module-session.sh /build --prefix /usr --screenshot /build/deb-kcmshell6.png'
fi
exec bash sandbox/release13.sh --build-dir "$build" -- bash /src/tools/test-release13.sh --in-root "$@"
