#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Runs the command inside a system-mode sandbox machine. run.sh starts this
# through nsenter in the machine's namespaces, with file descriptor 5 open on
# a file where it reports "ready" once systemd answers on the system bus, or
# why it did not. Not meant to be run by hand.
#
#   enter.sh SANDBOX [--user] -- command args...
set -uo pipefail

sandbox=$1
shift
as_user=
[ "${1-}" != --user ] || { as_user=1; shift; }
[ "${1-}" = -- ] && shift

not_ready() {
    echo "$*" >&5
    exit 125
}

# shellcheck source=waitfor.sh
. "$(dirname "$0")/waitfor.sh"
wait_for 60 test -f "$sandbox/env" || not_ready "the machine was not set up"
# shellcheck source=/dev/null
. "$sandbox/env"
manager_up() {
    local state
    state=$(busctl --timeout=1 get-property org.freedesktop.systemd1 \
        /org/freedesktop/systemd1 org.freedesktop.systemd1.Manager SystemState) || return 1
    [ "$state" = 's "running"' ] || [ "$state" = 's "degraded"' ]
}
wait_for 60 manager_up || not_ready "systemd did not come up on the system bus"
echo ready >&5
exec 5>&-

if [ -n "$as_user" ]; then
    home=$(getent passwd "$ZEL_SANDBOX_USER" | cut -d: -f6)
    runtime=/run/user/$(id -u "$ZEL_SANDBOX_USER")
    mkdir -m 0700 "$runtime"
    chown "$ZEL_SANDBOX_USER:" "$runtime"
    export HOME=$home USER=$ZEL_SANDBOX_USER LOGNAME=$ZEL_SANDBOX_USER XDG_RUNTIME_DIR=$runtime TMPDIR=$ZEL_SANDBOX/tmp
    unset XDG_CONFIG_HOME
    if [ "${ZEL_SANDBOX_POLKIT-}" = ask ]; then
        # A scripted agent for this process, which becomes the command: it
        # answers every prompt with root's password in the sandbox. Its
        # terminal comes from script(1), since pkttyagent asks on one.
        registered=$sandbox/agent-registered.$$
        mkfifo -m 0600 "$registered"
        (while sleep 0.2; do echo sandbox; done |
            script -qfec "pkttyagent --process $$ --notify-fd 3 3>$registered" /dev/null \
            >"$sandbox/logs/agent.log" 2>&1 &)
        timeout 10 cat "$registered" >/dev/null || true
        rm -f "$registered"
    fi
    exec setpriv --reuid "$ZEL_SANDBOX_USER" --regid "$ZEL_SANDBOX_USER" --init-groups -- "$@"
fi
exec "$@"
