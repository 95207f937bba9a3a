#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Runs a command inside the sandbox machine: a Debian 12 machine's time
# services (or with --release 13 a Debian 13 machine's), made harmless, in private mount, network, pid, UTS and cgroup
# namespaces.
#
# Usage: run.sh --help, or usage() below.
#
# The system mode, the default: systemd is process 1 of the namespaces, in
# control groups of its own; Debian's dbus-daemon with its system policy
# answers at /run/dbus/system_bus_socket (root may also own and call any
# name); polkitd and the build's KAuth helper are activated on it, with the
# build's polkit action. The units are system units in /usr/lib/systemd/system.
# Where the system mode cannot start, run.sh says why on stderr and uses the
# user-manager mode: systemd --user on a bus of its own.
#
# The command sees:
#   ZEL_SANDBOX               the sandbox's folder (in memory, gone afterwards);
#                             synaptic.log and logs/*.log are in it
#   ZEL_SANDBOX_MODE          "system" in the system mode
#   ZELADMINTIME_SYSROOT      $ZEL_SANDBOX/root, the system root: etc/chrony/
#                             chrony.conf (syncs to 127.0.0.1), etc/systemd/
#                             timesyncd.conf, etc/ntpsec/ntp.conf, etc/openntpd/
#                             ntpd.conf, var/lib/dpkg/status, var/lib/apt/lists/
#   DBUS_SYSTEM_BUS_ADDRESS   the sandbox's bus, with systemd on it as
#                             org.freedesktop.systemd1 (already answering)
#   DBUS_SESSION_BUS_ADDRESS  the same bus
#   ZEL_SYSTEMD_PID           the manager's process (unset with --no-systemd)
#   XDG_RUNTIME_DIR           /run/user/UID (/run is the sandbox's own)
#   XDG_CONFIG_HOME           $ZEL_SANDBOX/config (root only); the units are in
#                             $XDG_CONFIG_HOME/systemd/user: chrony.service
#                             (a real chronyd -x), systemd-timesyncd.service,
#                             ntpsec.service, openntpd.service (idle stand-ins),
#                             all disabled and stopped
#   PATH                      $ZEL_SANDBOX/bin first: chronyd (always -x),
#                             chronyc, ntpdig (never sets the clock), pkexec,
#                             synaptic-pkexec (records to synaptic.log, updates
#                             the dpkg status; through pkexec when not root)
#                             and, in the system mode, a systemctl that takes
#                             --user for --system
#   the programs' fixed paths the same stand-ins, in overlays of /usr/bin and
#                             /usr/sbin that only the sandbox sees:
#                             /usr/bin/{ntpdig,synaptic-pkexec,chronyc,ntpq},
#                             /usr/sbin/{chronyd,ntpctl}; /usr/bin/pkexec is a
#                             stand-in that runs its program in the
#                             user-manager mode and the real one otherwise
# and an NTP server (chronyd, local stratum 10) on 127.0.0.1:123.
#
# Nothing inside can set the clock or load a kernel module: the sandbox has no
# CAP_SYS_TIME and no CAP_SYS_MODULE at all. /etc, /var/lib/dpkg,
# /var/lib/apt and /proc/sys are read-only inside.
# Everything started inside ends with the command, also when this script is
# interrupted or killed. Exits with the command's status (125 when the machine
# could not be started).
set -euo pipefail

usage() {
    cat >&2 <<'END'
run.sh --build-dir DIR [--release 13] [--installed "pkg pkg ..."] [--no-systemd]
       [--hung-systemd] [--keep-root PATH] [--user-manager]
       [--user [--polkit=yes|no|ask]] -- command args...

  --build-dir DIR   build folder that sandbox/prepare.sh prepared
  --release 13      the Debian 13 machine: the same, inside DIR/deb13-root
                    (sandbox/release13.sh) for the Qt 6 build DIR/deb13-build;
                    the command runs in that root, where the source is /src
                    and the Qt 6 build /build
  --installed LIST  packages the dpkg status lists as installed, among
                    chrony, systemd-timesyncd, ntpsec and openntpd
                    (default "systemd-timesyncd chrony"; "" for none);
                    also --installed=LIST
  --no-systemd      a bus, but no systemd on it (user-manager mode)
  --hung-systemd    systemd on the bus, but stopped (SIGSTOP) once it is up:
                    it owns its name and answers nothing, like a hung
                    manager; kill -CONT $ZEL_SYSTEMD_PID wakes it
                    (user-manager mode)
  --keep-root PATH  the system root is a copy of PATH instead of the stock one
  --user-manager    systemd --user as the manager instead of the system mode
  --user            the command runs as zel-user, an unprivileged user
  --polkit=ANSWER   polkit grants (yes, the default) or refuses (no) every
                    request of zel-user, or asks for root's password (ask),
                    which a scripted agent registered for the command gives
END
    exit 2
}

here=$(cd "$(dirname "$0")" && pwd)
build=
release=
no_systemd=
hung_systemd=
keep_root=
system=1
as_user=
# What machine.sh is told: the options it acts on, passed on as they came.
machine_options=()
while [ $# -gt 0 ]; do
    case $1 in
    --build-dir) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
    --release) [ $# -ge 2 ] && [ "$2" = 13 ] || usage; release=13; shift 2 ;;
    --installed) [ $# -ge 2 ] || usage; machine_options+=("--installed=$2"); shift 2 ;;
    --installed=*) machine_options+=("$1"); shift ;;
    --no-systemd) no_systemd=1; machine_options+=("$1"); shift ;;
    --hung-systemd) hung_systemd=1; machine_options+=("$1"); shift ;;
    --keep-root) [ $# -ge 2 ] || usage; keep_root=$2; shift 2 ;;
    --user-manager) system=; shift ;;
    --user) as_user=1; shift ;;
    --polkit=yes | --polkit=no | --polkit=ask) machine_options+=("$1"); shift ;;
    --help) usage ;;
    --) shift; break ;;
    *) usage ;;
    esac
done
[ -n "$build" ] && [ $# -gt 0 ] || usage
build=$(realpath "$build")
if [ -n "$keep_root" ]; then
    keep_root=$(realpath "$keep_root")
    [ -d "$keep_root" ] || { echo "run.sh: no folder $keep_root" >&2; exit 2; }
fi

if [ "$release" = 13 ]; then
    # The same machine, started from inside the Debian 13 root on its own
    # programs; the Qt 6 build is prepared for it there.
    [ -z "$keep_root" ] || { echo "run.sh: --keep-root is for Debian 12 only" >&2; exit 2; }
    inner=("${machine_options[@]}")
    [ -n "$system" ] || inner+=(--user-manager)
    [ -z "$as_user" ] || inner+=(--user)
    exec bash "$here/release13.sh" --build-dir "$build" -- bash -c \
        'bash /src/sandbox/prepare.sh /build >&2 || exit 125; exec bash /src/sandbox/run.sh --build-dir /build "$@"' \
        run.sh "${inner[@]}" -- "$@"
fi
machine_options+=(--build-dir "$build")
[ -z "$keep_root" ] || machine_options+=(--keep-root "$keep_root")

# shellcheck source=cgroup.sh
. "$here/cgroup.sh"
# Control groups of sandboxes that were killed outright are still there. A
# sandbox that runs, or is starting, holds the lock on its folder, made before
# its groups: those groups stay.
for h in $(sandbox_cgroup_hierarchies); do
    for g in "$h"/zel-sandbox.*; do
        [ -d "$g" ] || continue
        [ ! -d "/tmp/${g##*/}" ] || flock -n "/tmp/${g##*/}" true 2>/dev/null || continue
        if sandbox_cgroup_unused "${g##*/}"; then
            sandbox_cgroup_remove "${g##*/}" 1 || true
        fi
    done
done

# So are their folders, which a running sandbox keeps locked.
for d in /tmp/zel-sandbox.*; do
    [ -d "$d" ] && [ -n "$(find "$d" -maxdepth 0 -mmin +1)" ] &&
        flock -n "$d" true 2>/dev/null && rm -f "$d/ready" && rmdir "$d" 2>/dev/null || true
done

sandbox=$(mktemp -d /tmp/zel-sandbox.XXXXXX)
exec 9<"$sandbox"
flock 9
export ZEL_SANDBOX=$sandbox
# A manager that is missing or stopped is systemd --user's part.
[ -z "$no_systemd$hung_systemd" ] || system=
if [ -n "$as_user" ] && [ -z "$system" ]; then
    echo "run.sh: --user needs the system mode" >&2
    exit 2
fi

# setpriv: the namespaces die with this script even if it is killed, and
# nobody inside may ever hold CAP_SYS_TIME or load a kernel module.
# unshare --kill-child: its child, process 1 of the pid namespace, dies with
# it, and the kernel then ends every process in the namespace. In system mode
# that process becomes systemd, in fresh control groups of every hierarchy
# that are the roots of its cgroup namespace.
caps=(setpriv --pdeathsig KILL --bounding-set "-sys_time,-sys_module" --inh-caps "-sys_time,-sys_module" --)
start_machine() {
    local mode=()
    [ -z "$1" ] || mode=(--system)
    (
        if [ -n "$1" ]; then
            # systemd as process 1 takes the cgroup namespace's roots for its own.
            sandbox_cgroup_enter "${sandbox##*/}" ||
                { echo "not in fresh control groups of every hierarchy" >&2; exit 125; }
            set -- --cgroup --uts
        else
            set --
        fi
        # unshare complains when it cannot pass on the SIGKILL that ended its
        # child, which is how every system-mode machine ends.
        exec "${caps[@]}" unshare --mount --net --pid --fork --kill-child --mount-proc \
            --propagation private "$@" bash "$here/machine.sh" "${machine_options[@]}" "${mode[@]}" -- "${command[@]}" \
            2> >(grep --line-buffered -v '^unshare: sigprocmask unblock failed' >&2)
    ) <&3 9<&- &
    machine=$!
}
# The first process of the machine's namespaces, once unshare has started it.
machine_init() {
    local init='' try child ns
    for ((try = 0; try < 3000; try++)); do
        # The one child in a pid namespace of its own: the subshell's helpers
        # (mkdir, the stderr filter) are its children too.
        for child in $(cat /proc/$machine/task/$machine/children 2>/dev/null); do
            ns=$(readlink /proc/$child/ns/pid 2>/dev/null) || continue
            [ "$ns" = "$(readlink /proc/self/ns/pid)" ] || init=$child
        done
        [ -z "$init" ] || break
        kill -0 $machine 2>/dev/null || break
        sleep 0.01
    done
    echo "$init"
}
end_machine() {
    local init
    init=$(machine_init)
    kill -KILL ${init:-$machine} 2>/dev/null || true
    wait $machine 2>/dev/null || true
}

finish() {
    # The mount namespace, and the tmpfs on $sandbox with it, is gone once the
    # machine has ended; only the empty mount point remains here. On a busy
    # machine the last processes take a while to leave the group: up to 10 s.
    sandbox_cgroup_remove "${sandbox##*/}" 100
    rm -rf -- "$sandbox"
    exit "$1"
}
on_signal() {
    # Killing process 1 of the namespace ends all in it before unshare, which
    # waits for it, returns; killing unshare would not wait for that. systemd
    # as process 1 ignores SIGTERM, so SIGKILL it is in both modes.
    end_machine
    finish $((128 + $1))
}
trap 'on_signal 1' HUP
trap 'on_signal 2' INT
trap 'on_signal 15' TERM

command=("$@")
exec 3<&0
status=0
if [ -n "$system" ]; then
    start_machine 1
    init=$(machine_init)
    # Outside the machine this is the folder under its tmpfs; it goes with it.
    ready=$sandbox/ready
    : > "$ready"
    enter_options=()
    [ -z "$as_user" ] || enter_options+=(--user)
    (
        sandbox_cgroup_enter "${sandbox##*/}" || exit 125
        # The root too: from inside the Debian 13 root, the machine's process 1 is
        # chrooted there, and entering its mount namespace alone would leave it.
        exec "${caps[@]}" nsenter --target "${init:-0}" --mount --net --pid --uts --cgroup --root --wd="$PWD" \
            bash "$here/enter.sh" "$sandbox" "${enter_options[@]}" -- "${command[@]}"
    ) <&3 5>"$ready" 9<&- &
    entered=$!
else
    start_machine ""
fi
exec 3<&-

if [ -n "$system" ]; then
    # The shell's own notice of a killed job stays out of the output.
    wait $entered 2>/dev/null || status=$?
    why=$(head -n1 "$ready")
    # Without an answer, process 1 ended before systemd took over.
    [ -n "$why" ] || why="the machine ended while starting systemd"
    if [ "$why" = ready ] || [ -n "$as_user" ]; then
        [ "$why" = ready ] || { echo "sandbox: system mode did not start: $why" >&2; status=125; }
        end_machine
        finish $status
    fi
    # Fall back to systemd --user as the machine's manager.
    echo "sandbox: system mode did not start ($why); using systemd --user instead" >&2
    end_machine
    rm -f "$ready"
    sandbox_cgroup_remove "${sandbox##*/}"
    status=0
    exec 3<&0
    start_machine ""
    exec 3<&-
fi
wait $machine || status=$?
finish $status
