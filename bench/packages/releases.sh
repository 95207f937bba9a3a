#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The controller's construction on both releases in one run: packagesbench of
# the Qt 5 build in the Debian 12 sandbox machine, then of the Qt 6 build in
# the Debian 13 root (no machine there: a scratch system root under its /tmp,
# a system bus of its own with no systemd on it, so the systemd part of the
# construction is not measured there), each with its own release's dpkg
# status and apt lists. Build both first (tools/build.sh,
# tools/test-release13.sh).
#
#   bench/packages/releases.sh [BUILD_DIR] [ITERATIONS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath -m "${1:-build}")
iterations=${2:-10}
for bench in "$build/bin/packagesbench" "$build/deb13-build/bin/packagesbench"; do
    [ -x "$bench" ] || { echo "releases.sh: $bench is not built" >&2; exit 2; }
done
figures='reading the dpkg|constructing the controller|^copied|^dpkg status'
echo "Debian 12, Qt 5, in the sandbox machine:"
bash sandbox/run.sh --build-dir "$build" -- "$build/bin/packagesbench" --iterations "$iterations" --list-mb 0 | grep -E "$figures"
echo "Debian 13, Qt 6, in its root:"
# shellcheck disable=SC2016 # expanded inside the root
bash sandbox/release13.sh --build-dir "$build" -- bash -c '
    mkdir -p /tmp/bench/root/var/lib/dpkg /tmp/bench/root/var/lib/apt/lists
    touch /tmp/bench/root/var/lib/dpkg/status
    mkdir -p /run/dbus && dbus-daemon --system --fork
    ZEL_SANDBOX=/tmp/bench ZELADMINTIME_SYSROOT=/tmp/bench/root /build/bin/packagesbench --iterations "$1" --list-mb 0' - "$iterations" |
    grep -E "$figures"
