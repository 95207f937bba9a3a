#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Opens the module in kcmshell5 (run inside the sandbox machine, with all four
# services installed and chrony running) in English and in Russian, with the
# desktop font at 10 and at 12 pt, each time with a session bus and an
# accessibility bus of its own, and lets a11y-check.py read it through the
# accessibility tree. Screenshots go to OUT_DIR/<language>-<size>/window.png.
#
#   a11y-check.sh SOURCE_DIR BUILD_DIR OUT_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR OUT_DIR" >&2; exit 2; }
src=$1
build=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${_ZEL_A11Y_RUN:-}" ]; then
    rm -rf "$out"
    mkdir -p "$out"
    # The Sources table shows only for a running service.
    systemctl start chrony.service
    status=0
    one() {
        _ZEL_A11Y_RUN=$1 env -u DBUS_SESSION_BUS_ADDRESS dbus-run-session -- bash "$0" "$src" "$build" "$out" 2>&1 | tee "$out/$1.log"
    }
    for run in ${ZEL_A11Y_RUNS:-en-10 en-12 ru-10 ru-12}; do
        echo "== $run"
        one "$run" && continue
        # Not findings about the module, each told and the run checked again,
        # twice at most: the accessibility bus never listing any application,
        # or an object gone from the tree while the check walked it (the page
        # refreshes meanwhile). kcmshell5 ending early is always a finding.
        for again in 1 2; do
            if grep -F 'ended early' "$out/$run.log" >/dev/null; then
                break
            elif grep -F 'applications seen: []' "$out/$run.log" >/dev/null; then
                echo "WARNING: the accessibility bus listed no application during $run; checking $run again ($again)"
            elif grep -F "the check broke: GLib.Error('No such object path" "$out/$run.log" >/dev/null; then
                echo "WARNING: an object left the accessibility tree while $run was read; checking $run again ($again)"
            else
                break
            fi
            one "$run" && continue 2
        done
        status=1
    done
    exit $status
fi

dir=$out/$_ZEL_A11Y_RUN
mkdir -p "$dir/config"
# A run checked again must not find the earlier check's end mark: the
# session would take it for this check's and close kcmshell5 at once.
rm -f "$dir/done"
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES
[ "${_ZEL_A11Y_RUN%-*}" = en ] || export LANGUAGE=ru
# Qt's KDE platform theme takes the desktop font from kdeglobals.
printf '[General]\nfont=DejaVu Sans,%s,-1,5,50,0,0,0,0,0\n' "${_ZEL_A11Y_RUN#*-}" > "$dir/config/kdeglobals"
export XDG_CONFIG_HOME=$dir/config QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

launcher=
session=
finish() {
    if [ -n "$session" ]; then kill "$session" 2>/dev/null || true; wait "$session" 2>/dev/null || true; fi
    if [ -n "$launcher" ]; then kill "$launcher" 2>/dev/null || true; wait "$launcher" 2>/dev/null || true; fi
}
trap finish EXIT
env -u DISPLAY bash "$src/tools/module-session.sh" "$build" --screenshot "$dir/window.png" --until "$dir/done" \
    --wait 500 &
session=$!
# The accessibility bus comes once kcmshell5 is on the session bus: Qt
# (5.15) asked at start-up sets itself up before the bus's address arrives
# and never registers; told later, it connects first.
for _ in $(seq 600); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListNames 2>/dev/null | grep org.kde.kcmshell >/dev/null && break
    kill -0 "$session" 2>/dev/null || break
    sleep 0.2
done
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/at-spi.log" 2>&1 &
launcher=$!
status=0
/usr/bin/python3 -B "$here/a11y-check.py" "$dir/done" ${ZEL_A11Y_DUMP:+--dump} || status=1
wait "$session" || status=1
session=
exit $status
