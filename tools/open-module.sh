#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# One command from a fresh Debian 12 machine (as root) to the module on
# screen: installs what is missing, builds into build/ as tools/test.sh does,
# and opens the module in kcmshell5. Against this machine's systemd when one
# answers on the system bus; otherwise inside the sandbox machine, whose
# services are stand-ins. With no display it runs under Xvfb and writes a
# screenshot whose path it prints (tools/module-session.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${BUILD_DIR:-$src/build}

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
