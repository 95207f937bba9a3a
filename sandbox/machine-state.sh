#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# What the sandbox machine must leave as it found it on this machine: no
# control group of its own behind, the control groups of process 1, every
# settable sysctl and the clock.
#   machine-state.sh snapshot FILE   writes the state to FILE
#   machine-state.sh compare FILE    fails, showing the differences, when the
#                                    state is no longer the one in FILE
set -euo pipefail

state() {
    echo "# cgroups of process 1"
    cat /proc/1/cgroup
    echo "# control groups the sandbox left behind"
    # Only the sandbox's own groups: other processes on a shared machine make
    # and remove groups of their own at any time. A sandbox running right now
    # (its folder is still there) owns its group; one whose folder is gone
    # has left it behind.
    find /sys/fs/cgroup -mindepth 1 -type d -name 'zel-sandbox.*' 2>/dev/null | LC_ALL=C sort | while read -r group; do
        name=${group##*/zel-sandbox.}
        [ -d "/tmp/zel-sandbox.${name%%/*}" ] && continue
        echo "$group"
    done
    echo "# sysctls"
    # One grep for all of them: a process per file takes minutes on a busy
    # machine. Unreadable ones (write-only, or refusing reads) are left out.
    find /proc/sys -type f -perm -u+w ! -path /proc/sys/kernel/ns_last_pid -print0 2>/dev/null |
        LC_ALL=C sort -z | xargs -0 grep -H -s '' | sed 's|^/proc/sys/||' || true
}

# The wall clock's offset from the boot-time clock, in hundredths of a
# second: it moves only when someone sets the clock.
clock_offset() {
    local uptime
    read -r uptime _ < /proc/uptime
    echo $(( ${EPOCHREALTIME/./} / 10000 - ${uptime/./} ))
}

[ $# -eq 2 ] || { echo "usage: $0 snapshot|compare FILE" >&2; exit 2; }
case $1 in
snapshot)
    { echo "clock $(clock_offset)"; state; } > "$2"
    ;;
compare)
    then=$(head -n1 "$2" | cut -d' ' -f2)
    now=$(clock_offset)
    failed=0
    # 0.1 s for the two clocks' reading and resolution.
    if [ $(( now > then ? now - then : then - now )) -gt 10 ]; then
        echo "the clock was set: it moved $(( now - then ))0 ms against the boot-time clock"
        failed=1
    fi
    if ! diff <(tail -n +2 "$2") <(state); then
        echo "the machine's control groups or sysctls changed (< before, > after)"
        failed=1
    fi
    exit $failed
    ;;
*)
    echo "usage: $0 snapshot|compare FILE" >&2
    exit 2
    ;;
esac
