#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# One command (as root) to the module on screen, in the build that fits the
# machine:
#
#   open-module.sh [--release 13] [--systemsettings]
#
# On a Plasma 6 machine (kcmshell6 and no kcmshell5) it builds the Qt 6 / KF6
# flavour into build/ and opens it in kcmshell6; otherwise, on Debian 12, it
# installs what is missing, builds as tools/test.sh does and opens the module
# in kcmshell5: against this machine's systemd when one answers on the system
# bus, otherwise inside the sandbox machine, whose services are stand-ins.
# --release 13 builds the Qt 6 flavour inside the Debian 13 root and opens it
# in kcmshell6 inside the Debian 13 sandbox machine (sandbox/run.sh --release
# 13), against Debian 13's systemd with the services' stand-ins;
# --systemsettings in System Settings 6 instead. With no display it runs under Xvfb and writes a screenshot whose
# path it prints (tools/module-session.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-$src/build}
release=
session_options=()
while [ $# -gt 0 ]; do
    case $1 in
    --release) [ $# -ge 2 ] && [ "$2" = 13 ] || { echo "usage: $0 [--release 13] [--systemsettings]" >&2; exit 2; }
        release=13; shift 2 ;;
    --systemsettings) session_options+=(--systemsettings); shift ;;
    *) echo "usage: $0 [--release 13] [--systemsettings]" >&2; exit 2 ;;
    esac
done

if [ "$release" = 13 ]; then
    build=$(realpath -m "$build")
    echo "Opening the Qt 6 build in the Debian 13 sandbox machine."
    bash sandbox/release13.sh --build-dir "$build" -- bash -c \
        'cmake -S /src -B /build -DQT_MAJOR_VERSION=6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
             -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/build/configure.log && cmake --build /build --parallel "$(nproc)" >/build/build.log' ||
        { echo "open-module.sh: the Qt 6 build failed (logs in $build/deb13-build)" >&2; exit 1; }
    exec bash sandbox/run.sh --release 13 --build-dir "$build" -- env -u DISPLAY \
        bash /src/tools/module-session.sh /build "${session_options[@]}" --screenshot /build/kcm_zel_admin_time-screenshot.png
fi

if command -v kcmshell6 >/dev/null && ! command -v kcmshell5 >/dev/null; then
    echo "Plasma 6: opening the Qt 6 / KF6 build in kcmshell6."
    cmake -S "$src" -B "$build" -DQT_MAJOR_VERSION=6 -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" --parallel "$(nproc)"
    exec bash tools/module-session.sh "$build" "${session_options[@]}"
fi

bash tools/build.sh "$build"

# The real system bus, whatever this shell was pointed at.
if env -u DBUS_SYSTEM_BUS_ADDRESS timeout 10 dbus-send --system --print-reply --reply-timeout=5000 \
    --dest=org.freedesktop.systemd1 /org/freedesktop/systemd1 org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1; then
    echo "Opening the module against this machine's systemd."
    exec env -u DBUS_SYSTEM_BUS_ADDRESS bash tools/module-session.sh "$build"
fi

echo "No systemd answers on the system bus: opening the module inside the sandbox machine."
bash sandbox/prepare.sh "$build"
# Inside, the host's X server is out of reach (its abstract socket lives in
# the host's network namespace): the session starts its own Xvfb there.
exec bash sandbox/run.sh --build-dir "$build" -- env -u DISPLAY bash "$src/tools/module-session.sh" "$build"
