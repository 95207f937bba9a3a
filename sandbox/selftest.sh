#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Checks the sandbox machine from outside and from inside.
#   selftest.sh BUILD_DIR
# Inside, it is started again by run.sh as "selftest.sh --inside[-bare] STATE".
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
failures=0

check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok    $what"
    else
        echo "FAIL  $what"
        failures=$((failures + 1))
    fi
}

# shellcheck source=waitfor.sh
. "$here/waitfor.sh"

sd() {
    busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" "$@"
}
manager() {
    sd call org.freedesktop.systemd1 /org/freedesktop/systemd1 org.freedesktop.systemd1.Manager "$@"
}
unit_property() {
    local path
    path=$(manager LoadUnit s "$1" | cut -d'"' -f2) || return 1
    sd get-property org.freedesktop.systemd1 "$path" "$2" "$3"
}
# unit_state_is UNIT STATE: asks anew on every call, so it can be polled.
unit_state_is() {
    test "$(unit_property "$1" org.freedesktop.systemd1.Unit ActiveState)" = "s \"$2\""
}
status_field() { # PACKAGE FIELD
    awk -v pkg="$1" -v field="$2" 'BEGIN { RS = ""; FS = "\n" }
        $1 == "Package: " pkg { for (i = 2; i <= NF; i++) if (index($i, field ": ") == 1) print substr($i, length(field) + 3) }' \
        "$ZELADMINTIME_SYSROOT/var/lib/dpkg/status"
}

# --- inside: the full machine ----------------------------------------------------
inside() {
    local state=$1
    echo "$ZEL_SANDBOX" > "$state/sandbox"

    check "environment exported" test -d "$ZEL_SANDBOX" -a "$ZELADMINTIME_SYSROOT" = "$ZEL_SANDBOX/root" \
        -a "$XDG_RUNTIME_DIR" = /run/user/0 -a "$XDG_CONFIG_HOME" = "$ZEL_SANDBOX/config" \
        -a "$DBUS_SESSION_BUS_ADDRESS" = "$DBUS_SYSTEM_BUS_ADDRESS" -a "${PATH%%:*}" = "$ZEL_SANDBOX/bin"
    check "/run/systemd/system exists" test -d /run/systemd/system
    check "/etc, /var/lib/dpkg and /var/lib/apt are read-only" \
        bash -c '! test -w /etc && ! test -w /var/lib/dpkg && ! test -w /var/lib/apt'
    check "no CAP_SYS_TIME in the sandbox" \
        test $(( 0x$(awk '/^CapBnd:/ { print $2 }' /proc/self/status) >> 25 & 1 )) -eq 0

    check "no CAP_SYS_MODULE in the sandbox" \
        test $(( 0x$(awk '/^CapBnd:/ { print $2 }' /proc/self/status) >> 16 & 1 )) -eq 0
    if [ "${ZEL_SANDBOX_MODE-}" = system ]; then
        check "systemd is process 1" test "$(cat /proc/1/comm)" = systemd
        check "systemd 256 or later on the unified hierarchy alone" bash -c \
            '[ "$(systemctl --version | awk "NR == 1 { print \$2 + 0 }")" -lt 256 ] || [ "$(stat -fc %T /sys/fs/cgroup)" = cgroup2fs ]'
        check "/proc/sys is read-only" bash -c '! test -w /proc/sys/kernel/hostname && ! echo 1 2>/dev/null > /proc/sys/vm/swappiness'
        check "the bus answers at the standard socket" bash -c \
            'busctl --address=unix:path=/run/dbus/system_bus_socket status org.freedesktop.systemd1 >/dev/null'
        check "polkitd is activated on the bus" busctl call org.freedesktop.PolicyKit1 \
            /org/freedesktop/PolicyKit1/Authority org.freedesktop.DBus.Peer Ping
        check "the real pkexec, setuid root" test -u /usr/bin/pkexec
        check "sysinit's units acting on the kernel are masked" test "$(systemctl is-enabled systemd-sysctl.service systemd-modules-load.service 2>/dev/null | sort -u)" = masked-runtime
    fi
    check "systemd answers on DBUS_SYSTEM_BUS_ADDRESS" test -n "$(sd get-property org.freedesktop.systemd1 \
        /org/freedesktop/systemd1 org.freedesktop.systemd1.Manager Version)"
    local unit
    for unit in systemd-timesyncd.service chrony.service ntpsec.service openntpd.service; do
        check "$unit loaded" test "$(unit_property $unit org.freedesktop.systemd1.Unit LoadState)" = 's "loaded"'
        check "$unit inactive" test "$(unit_property $unit org.freedesktop.systemd1.Unit ActiveState)" = 's "inactive"'
        check "$unit disabled" test "$(manager GetUnitFileState s $unit)" = 's "disabled"'
    done
    check "chrony.service keeps Debian's Conflicts=" \
        grep -q ntpsec.service <<< "$(unit_property chrony.service org.freedesktop.systemd1.Unit Conflicts)"

    local conf=$ZELADMINTIME_SYSROOT/etc/chrony/chrony.conf stock=$state/stock
    check "chrony.conf syncs to the loopback server" grep -qx 'server 127.0.0.1 iburst minpoll -6 maxpoll -6' "$conf"
    check "chrony.conf has no pool and port 0" bash -c "! grep -q '^pool' '$conf' && grep -qx 'port 0' '$conf'"
    check "stock timesyncd.conf" cmp -s "$stock/systemd-timesyncd/etc/systemd/timesyncd.conf" "$ZELADMINTIME_SYSROOT/etc/systemd/timesyncd.conf"
    check "stock ntp.conf" cmp -s "$stock/ntpsec/etc/ntpsec/ntp.conf" "$ZELADMINTIME_SYSROOT/etc/ntpsec/ntp.conf"
    check "stock ntpd.conf" cmp -s "$stock/openntpd/etc/openntpd/ntpd.conf" "$ZELADMINTIME_SYSROOT/etc/openntpd/ntpd.conf"
    check "default installed packages" test "$(status_field chrony Status)$(status_field systemd-timesyncd Status)" = \
        "install ok installedinstall ok installed"
    check "unrelated packages in the status" test "$(status_field libc6 Status)" = "install ok installed"
    check "ntpsec not installed" test -z "$(status_field ntpsec Status)"
    check "apt list has the four packages" test "$(grep -c '^Package: ' "$ZELADMINTIME_SYSROOT"/var/lib/apt/lists/*_Packages)" -eq 4

    # chrony.service: a real chronyd synchronizing to the loopback server.
    manager StartUnit ss chrony.service replace >/dev/null
    check "chrony.service becomes active" \
        wait_for 60 unit_state_is chrony.service active
    tracking_normal() { chronyc -c tracking | grep -q '^[0-9A-F]*,127\.0\.0\.1,.*,Normal$'; }
    # How soon is a figure for bench/, not a check: a busy machine takes its time.
    check "chronyc tracking: Normal against 127.0.0.1" wait_for 120 tracking_normal
    manager StopUnit ss chrony.service replace >/dev/null
    check "chrony.service stops" \
        wait_for 60 unit_state_is chrony.service inactive

    # Enabling through the manager, as the library does.
    manager EnableUnitFiles asbb 1 chrony.service false false >/dev/null && manager Reload >/dev/null
    check "EnableUnitFiles enables" test "$(manager GetUnitFileState s chrony.service)" = 's "enabled"'
    manager DisableUnitFiles asb 1 chrony.service false >/dev/null && manager Reload >/dev/null
    check "DisableUnitFiles disables" test "$(manager GetUnitFileState s chrony.service)" = 's "disabled"'

    # A unit that cannot start, added while the machine runs.
    printf '[Unit]\nDescription=Broken\n\n[Service]\nType=oneshot\nExecStart=/bin/false\n' \
        > "$XDG_CONFIG_HOME/systemd/user/zel-broken.service"
    manager Reload >/dev/null
    check "a failing unit fails to start" bash -c '! systemctl --user start zel-broken.service 2>/dev/null'
    check "a failing unit ends failed" \
        test "$(unit_property zel-broken.service org.freedesktop.systemd1.Unit ActiveState)" = 's "failed"'
    # chrony.service fails its start job when chronyd cannot read its configuration.
    cp "$conf" "$state/chrony.conf"
    echo "no-such-directive" >> "$conf"
    check "chrony.service fails with a bad chrony.conf" bash -c '! systemctl --user start chrony.service 2>/dev/null'
    cp "$state/chrony.conf" "$conf"
    manager ResetFailedUnit s chrony.service >/dev/null

    # ntpdig: options that set the clock never reach the real one.
    printf '#!/bin/sh\necho "$*"\n' > "$state/ntpdig-args"
    chmod +x "$state/ntpdig-args"
    stripped() { # expected args...
        local want=$1
        shift
        test "$(ZEL_NTPDIG_REAL=$state/ntpdig-args ntpdig "$@")" = "$want"
    }
    check "ntpdig drops -S" stripped "127.0.0.1" -S 127.0.0.1
    check "ntpdig drops --step --slew -s" stripped "127.0.0.1" --step --slew -s 127.0.0.1
    check "ntpdig drops S and s from clusters" stripped "-d -j -t 2 127.0.0.1" -dS -Ssj -t 2 127.0.0.1
    check "ntpdig drops prefixes of --slew" stripped "-M 50 127.0.0.1" --sl --sle -M 50 127.0.0.1
    check "ntpdig keeps values" stripped "-tS -l -S --steplimit 5 --timeout=3 127.0.0.1" \
        -tS -l -S --steplimit 5 --timeout=3 --step 127.0.0.1
    check "ntpdig stops at the first operand" stripped "127.0.0.1 -S" 127.0.0.1 -S
    local answer
    answer=$(ntpdig -S -t 2 127.0.0.1 2>&1)
    check "ntpdig -S 127.0.0.1 answers (only queries)" grep -q '127\.0\.0\.1 s10' <<< "$answer"
    check "the stand-ins hold the programs' fixed paths" bash -c \
        '[ "$(command -v ntpdig)" -ef /usr/bin/ntpdig ] && [ "$(command -v synaptic-pkexec)" -ef /usr/bin/synaptic-pkexec ] &&
         [ "$(command -v pkexec)" -ef /usr/bin/pkexec ] && /usr/bin/chronyc --version >/dev/null'

    # synaptic-pkexec: records and updates the dpkg status.
    printf 'ntpsec install\nchrony deinstall\n' > "$state/selections"
    synaptic-pkexec --hide-main-window --non-interactive --parent-window-id 42 \
        --set-selections-file "$state/selections"
    check "synaptic-pkexec exits 0" test $? -eq 0
    check "synaptic-pkexec records its call" diff <(cat "$ZEL_SANDBOX/synaptic.log") <(printf '%s\n' \
        "--hide-main-window --non-interactive --parent-window-id 42 --set-selections-file $state/selections" \
        "selection: ntpsec install" "selection: chrony deinstall")
    check "install adds the stanza" test "$(status_field ntpsec Status)" = "install ok installed" \
        -a -n "$(status_field ntpsec Version)"
    check "deinstall removes the package" test -z "$(status_field chrony Status)"
    check "other packages stay" test "$(status_field systemd-timesyncd Status)$(status_field libc6 Status)" = \
        "install ok installedinstall ok installed"
    if [ "${ZEL_SANDBOX_MODE-}" = system ]; then
        # The real one, asked by root: no prompt, a clean environment.
        check "pkexec runs its program" test "$(pkexec --user root sh -c 'echo "$PKEXEC_UID:${ZEL_SANDBOX-}"')" = "0:"
    else
        check "pkexec runs its program" test "$(pkexec --user root sh -c 'echo $ZEL_SANDBOX')" = "$ZEL_SANDBOX"
    fi

    # Let the outside see the machine's processes, then end.
    touch "$state/ready"
    wait_for 60 test -e "$state/go"
    return $((failures > 0))
}

# --- inside: bus only, nothing installed ------------------------------------------
inside_bare() {
    check "the bus answers" test -n "$(sd call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus ListNames)"
    check "no systemd on the bus" test "$(sd call org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus NameHasOwner s org.freedesktop.systemd1)" = "b false"
    check "no time service installed" bash -c "! grep -Eq '^Package: (chrony|systemd-timesyncd|ntpsec|openntpd)$' \
        '$ZELADMINTIME_SYSROOT/var/lib/dpkg/status'"
    check "unrelated packages in the status" test "$(status_field systemd Status)" = "install ok installed"
    check "the NTP server answers" bash -c 'ntpdig -t 2 127.0.0.1 | grep -q "127\.0\.0\.1 s10"'
    return $((failures > 0))
}

if [ "${1-}" = --inside ]; then
    inside "$2"
    exit
elif [ "${1-}" = --inside-bare ]; then
    inside_bare
    exit
fi

# --- outside -------------------------------------------------------------------------
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath "$1")
run=$here/run.sh
state=$(mktemp -d /tmp/zel-selftest.XXXXXX)
trap 'rm -rf "$state"' EXIT
ln -s "$build/sandbox/stock" "$state/stock"

# The clock's distance from the boot-time clock moves only when it is set.
clock_offset() { awk -v now="$(date +%s.%N)" '{ printf "%.3f\n", now - $1 }' /proc/uptime; }
offset_before=$(clock_offset)

# The processes in the pid namespace below run.sh's unshare.
namespace_of() { # RUN_PID
    local child grandchild ns
    # The machine's process 1 is a grandchild of run.sh, in a pid namespace
    # other than ours.
    for child in $(cat "/proc/$1/task/$1/children"); do
        for grandchild in $(cat "/proc/$child/task/$child/children" 2>/dev/null); do
            ns=$(readlink "/proc/$grandchild/ns/pid" 2>/dev/null) || continue
            [ "$ns" = "$(readlink /proc/self/ns/pid)" ] || { echo "$ns"; return 0; }
        done
    done
    return 1
}
members_of() { # NAMESPACE
    local p
    [ -n "$1" ] || return 0
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/ns/pid" 2>/dev/null)" = "$1" ] && echo "${p#/proc/}"
    done
}
cgroup_gone() {
    local hierarchy
    for hierarchy in $(. "$here/cgroup.sh"; sandbox_cgroup_hierarchies); do
        [ ! -e "$hierarchy/$1" ] || return 1
    done
}

echo "# the full machine"
bash "$run" --build-dir "$build" -- bash "$here/selftest.sh" --inside "$state" &
runner=$!
if wait_for 180 test -e "$state/ready"; then
    ns=$(namespace_of $runner)
    check "the machine has its own pid namespace" test -n "$ns" -a "$ns" != "$(readlink /proc/self/ns/pid)"
    members=$(members_of "$ns")
    echo "      $(wc -w <<< "$members") processes in the sandbox: $(for p in $members; do cat /proc/$p/comm; done 2>/dev/null | sort | tr '\n' ' ')"
    check "the machine's processes run in its own pid namespace" test "$(wc -w <<< "$members")" -ge 4
    sandbox=$(cat "$state/sandbox")
    check "the sandbox's files are not visible outside" test -z "$(find "$sandbox" -mindepth 1 -maxdepth 1 ! -name ready)"
else
    check "the inside checks finished" false
    ns=none members='' sandbox=none
fi
touch "$state/go"
wait $runner
check "the inside checks passed" test $? -eq 0
check "nothing of the machine remains" test -z "$(members_of "$ns")"
pids_gone() {
    local p
    for p in $members; do
        [ "$(readlink /proc/$p/ns/pid 2>/dev/null)" != "$ns" ] || return 1
    done
}
check "its pids are gone" pids_gone
check "the sandbox folder is removed" test ! -e "$sandbox"
check "its control group is removed" cgroup_gone "${sandbox##*/}"

echo "# bus only, nothing installed"
bash "$run" --build-dir "$build" --no-systemd --installed "" -- bash "$here/selftest.sh" --inside-bare
check "the bare checks passed" test $? -eq 0

echo "# a kept root, and the command's exit status"
mkdir -p "$state/root/etc/chrony"
echo "server 192.0.2.1" > "$state/root/etc/chrony/chrony.conf"
bash "$run" --build-dir "$build" --keep-root "$state/root" -- \
    sh -c 'grep -qx "server 192.0.2.1" "$ZELADMINTIME_SYSROOT/etc/chrony/chrony.conf" &&
           test ! -e "$ZELADMINTIME_SYSROOT/var/lib/dpkg/status" && exit 7'
check "--keep-root copies the given root; the command's exit status is run.sh's" test $? -eq 7

echo "# interrupted"
rm -f "$state/ready"
bash "$run" --build-dir "$build" -- sh -c "echo \$ZEL_SANDBOX > '$state/sandbox'; touch '$state/ready'; exec sleep 300" &
runner=$!
wait_for 180 test -e "$state/ready"
ns=$(namespace_of $runner)
check "the interrupted machine has its own pid namespace" test -n "$ns"
kill -TERM $runner
wait $runner
check "SIGTERM ends run.sh with 143" test $? -eq 143
check "nothing of the interrupted machine remains" test -z "$(members_of "$ns")"
sandbox=$(cat "$state/sandbox")
check "the interrupted sandbox's folder is removed" test -n "$sandbox" -a ! -e "$sandbox"
check "the interrupted sandbox's control group is removed" cgroup_gone "${sandbox##*/}"

offset_after=$(clock_offset)
check "the clock was not set ($offset_before -> $offset_after)" \
    awk -v a="$offset_before" -v b="$offset_after" 'BEGIN { d = a - b; exit !(d < 0.5 && d > -0.5) }'

echo "$failures failure(s)"
[ $failures -eq 0 ]
