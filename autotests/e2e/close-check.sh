#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Closes kcmshell5 with an unsaved server edit (run inside the sandbox
# machine, under Xvfb; a Qt 6 build: kcmshell6, then System Settings 6, in
# the Debian 13 root): PROBE, preloaded, edits a server, closes the window
# in one way and answers the unsaved-changes question. Yes writes the
# configuration and ends kcmshell5, No ends it and writes nothing, Cancel
# keeps it open (and shows the module: its screenshot is not blank). With
# "+again" (the host's hidden Cancel button, as a script clicks it) and
# "+session" (a session end) a second close request arrives while the
# question is open: it is refused, and the answer decides. System Settings
# asks with its own apply-or-discard question, the window not at all. Without
# a sandbox machine (no ZELADMINTIME_SYSROOT) nothing can be saved: Yes is
# left out and nothing is checked to be written.
#
#   close-check.sh SOURCE_DIR BUILD_DIR PROBE OUT_DIR
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR PROBE OUT_DIR" >&2; exit 2; }
src=$1
build=$2
probe=$3
out=$4
rm -rf "$out"
mkdir -p "$out"
export LC_ALL=C.UTF-8
unset LANGUAGE LC_MESSAGES
etc=${ZELADMINTIME_SYSROOT:+$ZELADMINTIME_SYSROOT/etc}
host=kcmshell5
[ ! -d "$build/bin/plasma/kcms" ] || host=kcmshell6
status=0
fail() { echo "FAIL ($host, $how, $answer): $*" >&2; status=1; }

# One way of closing per answer; each run adds its own server name.
runs=(button:no title:cancel escape:yes title+again:yes button+session:cancel)
[ -n "$etc" ] || runs=(button:no title:cancel escape:no title+again:cancel button+session:cancel)
# System Settings: its main window's close.
[ "$host" = kcmshell5 ] || runs+=(systemsettings/title:no systemsettings/title:cancel)
for run in "${runs[@]}"; do
    how=${run%%:*}
    answer=${run##*:}
    session_args=()
    if [ "${how%%/*}" = systemsettings ]; then
        host=systemsettings how=${how#*/} session_args=(--systemsettings)
    fi
    export ZEL_CLOSE_PROBE_OUT=$out/$host-$how-$answer.log ZEL_CLOSE_PROBE_HOW=$how ZEL_CLOSE_PROBE_ANSWER=$answer
    export ZEL_CLOSE_PROBE_MARK=$out/$host-$how-$answer.kept
    session=0
    # Ends with kcmshell5, or with the probe's mark that the window stayed.
    env -u DISPLAY bash "$src/tools/module-session.sh" "$build" "${session_args[@]}" --preload "$probe" \
        --screenshot "$out/$host-$how-$answer.png" --until "$ZEL_CLOSE_PROBE_MARK" >"$out/$host-$how-$answer.session" 2>&1 || session=$?
    cat "$ZEL_CLOSE_PROBE_OUT" 2>/dev/null || true
    ! grep -qE 'Aborted|Segmentation fault|double free' "$out/$host-$how-$answer.session" || fail "$host crashed"
    grep -qx 'changed	1' "$ZEL_CLOSE_PROBE_OUT" || { fail "the edit did not change the window"; continue; }
    if [ "$host" = systemsettings ]; then
        grep -q '^asked' "$ZEL_CLOSE_PROBE_OUT" && ! grep -qx 'asked	Unsaved changes' "$ZEL_CLOSE_PROBE_OUT" ||
            fail "not System Settings' own question alone"
    else
        grep -qx 'asked	Unsaved changes' "$ZEL_CLOSE_PROBE_OUT" || fail "no unsaved-changes question"
    fi
    [ "$(grep -c '^asked' "$ZEL_CLOSE_PROBE_OUT")" -eq 1 ] || fail "not exactly one question"
    # module-session.sh fails when the host ended before its screenshot.
    if [ "$answer" = cancel ]; then
        [ "$session" -eq 0 ] || fail "$host ended"
        deviation=$(convert "$out/$host-$how-$answer.png" -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
        awk -v d="$deviation" 'BEGIN { exit !(d > 0.01) }' || fail "the screenshot is blank"
    else
        grep -q "$host ended early" "$out/$host-$how-$answer.session" || fail "$host still runs"
    fi
    [ -n "$etc" ] || continue
    written=0
    grep -rqs "e2e-$answer-${how//+/-}.example.org" "$etc" && written=1
    [ "$written" -eq "$([ "$answer" = yes ] && echo 1 || echo 0)" ] || fail "configuration written: $written"
done
[ "$status" -eq 0 ] && echo "Closing $host asks about the edit once; No discards, Cancel keeps the window${etc:+, Yes saves}."
exit "$status"
