#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The inside of the sandbox machine. run.sh starts this as process 1 of fresh
# mount, network and pid namespaces; when it exits, the kernel ends every
# process left in them and the tmpfs mounts vanish with the mount namespace.
# Not meant to be run by hand.
#
#   machine.sh --build-dir DIR [--installed=LIST] [--no-systemd] [--hung-systemd]
#              [--keep-root PATH] [--system] [--polkit=ANSWER] -- command args...
# with ZEL_SANDBOX (an empty folder) in the environment; the options are
# run.sh's (--system: the system mode).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=
installed="systemd-timesyncd chrony"
no_systemd=
hung_systemd=
keep_root=
system=
polkit=yes
while [ $# -gt 0 ]; do
    case $1 in
    --build-dir) build=$2; shift 2 ;;
    --installed=*) installed=${1#*=}; shift ;;
    --no-systemd) no_systemd=1; shift ;;
    --hung-systemd) hung_systemd=1; shift ;;
    --keep-root) keep_root=$2; shift 2 ;;
    --system) system=1; shift ;;
    --polkit=*) polkit=${1#*=}; shift ;;
    --) shift; break ;;
    *) echo "machine.sh: started by run.sh only" >&2; exit 2 ;;
    esac
done
prepared=$build/sandbox
stock=$prepared/stock
# Exit status when the machine itself could not be started.
readonly setup_failed=125

fail() {
    echo "sandbox: $*" >&2
    for log in "$ZEL_SANDBOX"/logs/*.log; do
        [ -s "$log" ] || continue
        echo "--- $log" >&2
        tail -n 20 "$log" >&2
    done
    exit $setup_failed
}

# shellcheck source=waitfor.sh
. "$here/waitfor.sh"

trap 'fail "setting up failed (machine.sh line $LINENO)"' ERR

[ -d "${ZEL_SANDBOX-}" ] && [ -n "$build" ] || { echo "machine.sh: started by run.sh only" >&2; exit 2; }
[ -x "$prepared/chrony/usr/sbin/chronyd" ] ||
    fail "$prepared is not prepared; run sandbox/prepare.sh $build"

# Everything the machine writes lives in memory and disappears with it.
# In system mode its unprivileged user reads the system root and logs there.
mode=0700
[ -z "$system" ] || mode=0755
mount -t tmpfs -o mode=$mode zel-sandbox "$ZEL_SANDBOX"
mount -t tmpfs -o mode=0755 zel-run /run
# The machine's configuration and package database cannot change from inside.
for dir in /etc /var/lib/dpkg /var/lib/apt; do
    mount --rbind "$dir" "$dir"
    mount -o remount,bind,ro "$dir"
done
mkdir -p /run/systemd/system /run/user/0
chmod 0700 /run/user/0
# chronyc's default socket folder, used by chrony.service's chronyd.
mkdir -m 0750 /run/chrony
ip link set lo up

export XDG_RUNTIME_DIR=/run/user/0
export XDG_CONFIG_HOME=$ZEL_SANDBOX/config
export ZELADMINTIME_SYSROOT=$ZEL_SANDBOX/root
bus_address=unix:path=$XDG_RUNTIME_DIR/bus
export DBUS_SYSTEM_BUS_ADDRESS=$bus_address
export DBUS_SESSION_BUS_ADDRESS=$bus_address
logs=$ZEL_SANDBOX/logs
bin=$ZEL_SANDBOX/bin
root=$ZELADMINTIME_SYSROOT
mkdir -p "$logs" "$bin" "$XDG_CONFIG_HOME/systemd/user" "$ZEL_SANDBOX/home"

# --- the bus -----------------------------------------------------------------
# The user-manager mode's bus: only what the sandbox puts on it, no
# activatable services, root may do all. Without systemd the daemon runs by
# itself, otherwise as the manager's units below.
cat > "$ZEL_SANDBOX/bus.conf" <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>$bus_address</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow receive_sender="*"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
END
if [ -n "$no_systemd" ]; then
    dbus-daemon --nofork --nopidfile --nosyslog --config-file="$ZEL_SANDBOX/bus.conf" \
        </dev/null >"$logs/dbus.log" 2>&1 &
fi

# --- programs at their fixed paths -------------------------------------------------
# The library runs its programs by absolute paths, never through PATH, so the
# stand-ins take those paths here: /usr/bin and /usr/sbin become overlays
# whose upper layers live in the sandbox's tmpfs. The host's /usr stays as it
# is; the real ntpdig stays reachable for the stand-in through a bind mount.
chronyd_real=$prepared/chrony/usr/sbin/chronyd
real=$ZEL_SANDBOX/real
mkdir -p "$real"
if [ -e /usr/bin/ntpdig ]; then
    : > "$real/ntpdig"
    mount --bind /usr/bin/ntpdig "$real/ntpdig"
    mount -o remount,bind,ro "$real/ntpdig"
fi
for dir in /usr/bin /usr/sbin; do
    layer=$ZEL_SANDBOX/layers$dir
    mkdir -p "$layer/upper" "$layer/work"
    mount -t overlay zel-sandbox-usr -o "lowerdir=$dir,upperdir=$layer/upper,workdir=$layer/work" "$dir"
done
# install_wrapper PATH COMMAND...: PATH runs COMMAND with its own arguments.
install_wrapper() {
    local path=$1
    shift
    rm -f "$path"
    printf '#!/bin/sh\nexec %s "$@"\n' "$*" > "$path"
    chmod 0755 "$path"
}
# pkexec's and synaptic-pkexec's stand-ins find the sandbox even with the
# environment cleared.
sandbox_env="env ZEL_SANDBOX=$ZEL_SANDBOX ZELADMINTIME_SYSROOT=\${ZELADMINTIME_SYSROOT:-$ZELADMINTIME_SYSROOT}"
install_wrapper /usr/bin/ntpdig env "ZEL_NTPDIG_REAL=\${ZEL_NTPDIG_REAL:-$real/ntpdig}" "$here/stand-ins/ntpdig"
install_wrapper /usr/bin/synaptic-pkexec "$sandbox_env" "$here/stand-ins/synaptic-pkexec"
# In system mode the real pkexec asks the real polkitd.
[ -n "$system" ] || install_wrapper /usr/bin/pkexec "$here/stand-ins/pkexec"
# chronyd never controls the clock here, whoever starts it and however.
install_wrapper /usr/sbin/chronyd "$chronyd_real" -x
ln -sfn "$prepared/chrony/usr/bin/chronyc" /usr/bin/chronyc
# The status tools of ntpsec and openntpd, from their packages.
[ ! -x "$prepared/ntpsec/usr/bin/ntpq" ] || ln -sfn "$prepared/ntpsec/usr/bin/ntpq" /usr/bin/ntpq
[ ! -x "$prepared/openntpd/usr/sbin/ntpctl" ] || ln -sfn "$prepared/openntpd/usr/sbin/ntpctl" /usr/sbin/ntpctl

# The major version of the machine's systemd.
systemd_version() { /lib/systemd/systemd --version | awk 'NR == 1 { print $2 + 0 }'; }

if [ -n "$system" ]; then
    # shellcheck source=system.sh
    . "$here/system.sh"
elif [ -z "$no_systemd" ] && [ "$(systemd_version)" -ge 256 ]; then
    # systemd 256 and later manage the unified hierarchy only: its own
    # mount here, where the machine may have the hybrid layout. The
    # hierarchies go first: left below it, they would still be listed as
    # mounted, and groups made at their paths would land in this one.
    umount -R /sys/fs/cgroup
    mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 /sys/fs/cgroup
fi

# In the user-manager mode the units are the manager's user units, on a bus
# of the sandbox's own that lets root do all.
if [ -z "$system" ]; then
    units=$XDG_CONFIG_HOME/systemd/user
    bus_units=$units
    bus_socket=%t/bus
    bus_options="--config-file=$ZEL_SANDBOX/bus.conf"
fi

# --- the units -----------------------------------------------------------------
# Debian's unit with its [Service] replaced: keeps what the module looks at
# (description, ordering, conflicts, install), drops what the sandbox cannot
# do. DefaultDependencies=no keeps basic.target and sysinit.target, and with
# them the machine's own sockets and kernel set-up, from being pulled in.
make_unit() {
    local package=$1 unit=$2 service=$3
    {
        echo "# Sandbox stand-in for Debian's $unit (package $package)."
        awk '
            /^\[/ { section = $0 }
            section == "[Unit]" && /^\[Unit\]/ { print; print "DefaultDependencies=no"; next }
            section == "[Unit]" && /^(Description|Documentation|Conflicts|After|Before)=/ { print; next }
            section == "[Service]" && /^\[Service\]/ { print ""; print; printf "%s", service; next }
            section == "[Install]" { if (/^\[Install\]/) print ""; print; next }
        ' service="$service" "$stock/$package/lib/systemd/system/$unit"
    } > "$units/$unit"
}
idle=$'Type=simple\nExecStart=/bin/sleep infinity\n'
make_unit systemd-timesyncd systemd-timesyncd.service "$idle"
make_unit ntpsec ntpsec.service "$idle"
make_unit openntpd openntpd.service "$idle"
make_unit chrony chrony.service "Type=forking
PIDFile=/run/chrony/chronyd.pid
ExecStart=/usr/sbin/chronyd -u root -f $root/etc/chrony/chrony.conf -l $logs/chronyd.log
"

# The bus as units, in both modes: a manager takes its name on the bus only
# while its dbus.socket and dbus.service run.
cat > "$bus_units/dbus.socket" <<END
[Unit]
Description=D-Bus Message Bus Socket of the sandbox
DefaultDependencies=no

[Socket]
ListenStream=$bus_socket
END
cat > "$bus_units/dbus.service" <<END
[Unit]
Description=D-Bus Message Bus of the sandbox
Documentation=man:dbus-daemon(1)
DefaultDependencies=no
Requires=dbus.socket

[Service]
Type=notify
NotifyAccess=main
ExecStart=/usr/bin/dbus-daemon $bus_options --address=systemd: --nofork --nopidfile --nosyslog
StandardOutput=append:$logs/dbus.log
StandardError=append:$logs/dbus.log
END
# What the manager starts instead of default.target: the bus, nothing else.
cat > "$bus_units/zel-sandbox.target" <<END
[Unit]
Description=Sandbox machine
DefaultDependencies=no
Wants=dbus.socket dbus.service
END


# --- systemd -------------------------------------------------------------------
# Started early: it comes up while the rest is set up.
if [ -z "$no_systemd" ] && [ -z "$system" ]; then
    (
        # shellcheck source=cgroup.sh
        . "$here/cgroup.sh"
        sandbox_cgroup_enter "$(basename "$ZEL_SANDBOX")" || true
        # The manager's own files stay in the sandbox too.
        export HOME=$ZEL_SANDBOX/home XDG_DATA_HOME=$ZEL_SANDBOX/home/.local/share
        export XDG_STATE_HOME=$ZEL_SANDBOX/home/.local/state XDG_CACHE_HOME=$ZEL_SANDBOX/home/.cache
        export SYSTEMD_LOG_TARGET=console
        exec /lib/systemd/systemd --user --unit=zel-sandbox.target
    ) </dev/null >"$logs/systemd.log" 2>&1 &
    systemd_pid=$!
fi

# --- programs in PATH ------------------------------------------------------------
for f in /usr/sbin/chronyd /usr/bin/chronyc /usr/bin/synaptic-pkexec /usr/bin/ntpdig /usr/bin/pkexec; do
    ln -s "$f" "$bin/${f##*/}"
done
export PATH=$bin:$PATH

# --- the NTP server on 127.0.0.1:123 -------------------------------------------
server=$ZEL_SANDBOX/ntp-server
mkdir -m 0750 "$server"
cat > "$server/chrony.conf" <<END
# The sandbox's NTP server: serves this machine's clock on the loopback only.
local stratum 10
allow 127.0.0.1
bindaddress 127.0.0.1
port 123
cmdport 0
bindcmdaddress $server/chronyd.sock
pidfile $server/chronyd.pid
driftfile $server/chrony.drift
END
# Without -d chronyd returns once it is serving.
"$bin/chronyd" -u root -f "$server/chrony.conf" -l "$logs/ntp-server.log" </dev/null ||
    fail "the NTP server on 127.0.0.1:123 did not start"

# --- the system root -------------------------------------------------------------
if [ -n "$keep_root" ]; then
    mkdir -p "$root"
    cp -a "$keep_root/." "$root/"
else
    # shellcheck source=dpkg-status.sh
    . "$here/dpkg-status.sh"
    mkdir -p "$root/etc/systemd" "$root/etc/ntpsec" "$root/etc/openntpd" \
             "$root/var/lib/dpkg" "$root/var/lib/apt/lists"
    cp "$stock/systemd-timesyncd/etc/systemd/timesyncd.conf" "$root/etc/systemd/"
    cp "$stock/ntpsec/etc/ntpsec/ntp.conf" "$root/etc/ntpsec/"
    cp "$stock/openntpd/etc/openntpd/ntpd.conf" "$root/etc/openntpd/"
    cp -a "$stock/chrony/etc/chrony" "$root/etc/"

    # Debian's chrony.conf, made to sync to the sandbox's server within a few
    # seconds and to keep its files inside the root.
    awk -v root="$root" -v zoneinfo=/usr/share/zoneinfo '
        /^[ \t]*pool[ \t]/ {
            if (!server_done) {
                print "server 127.0.0.1 iburst minpoll -6 maxpoll -6"
                print ""
                print "# The NTP port belongs to the server above."
                print "port 0"
                server_done = 1
            }
            next
        }
        /^[ \t]*(confdir|sourcedir|keyfile|driftfile|ntsdumpdir|logdir|dumpdir)[ \t]+\// {
            sub(/[ \t]+\//, " " root "/")
            print
            next
        }
        /^[ \t]*leapsectz[ \t]/ {
            if (system("test -e " zoneinfo "/" $2) != 0) next
        }
        { print }
    ' "$stock/chrony/etc/chrony/chrony.conf" > "$root/etc/chrony/chrony.conf"
    awk '$1 ~ /^(confdir|sourcedir|ntsdumpdir|logdir|dumpdir)$/ { print $2 }
         $1 ~ /^(keyfile|driftfile)$/ { sub(/\/[^\/]*$/, "", $2); print $2 }' \
        "$root/etc/chrony/chrony.conf" | while read -r dir; do mkdir -p "$dir"; done

    # apt's list is named after the release's code name.
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    list=$root/var/lib/apt/lists/deb.debian.org_debian_dists_${codename}_main_binary-amd64_Packages
    cp "$prepared/Packages" "$list"
    # dpkg keeps its status sorted by package name.
    stanzas=$ZEL_SANDBOX/stanzas
    mkdir "$stanzas"
    awk -v dir="$stanzas" 'BEGIN { RS = ""; FS = "\n" }
        { name = $1; sub(/^Package:[ \t]*/, "", name); print $0 "\n" > (dir "/" name) }' \
        "$prepared/status-base"
    for p in $installed; do
        status_stanza "$list" "$p" > "$stanzas/$p"
        [ -s "$stanzas/$p" ] || fail "no package $p in $list"
    done
    for f in $(ls "$stanzas" | LC_ALL=C sort); do cat "$stanzas/$f"; done > "$root/var/lib/dpkg/status"
    rm -r "$stanzas"
fi

# --- ready when systemd is -----------------------------------------------------
if [ -n "$system" ]; then
    # run.sh enters the namespaces with enter.sh, which waits for the manager.
    cat > "$ZEL_SANDBOX/env.new" <<END
export ZEL_SANDBOX='$ZEL_SANDBOX' ZELADMINTIME_SYSROOT='$ZELADMINTIME_SYSROOT' PATH='$PATH'
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
export DBUS_SESSION_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
export XDG_RUNTIME_DIR=/run/user/0 XDG_CONFIG_HOME='$XDG_CONFIG_HOME'
export ZEL_SANDBOX_MODE=system ZEL_SANDBOX_USER=$sandbox_user ZEL_SANDBOX_POLKIT=$polkit ZEL_SYSTEMD_PID=1
END
    mv "$ZEL_SANDBOX/env.new" "$ZEL_SANDBOX/env"
    trap - ERR
    # container= tells systemd not to load kernel modules or set the clock
    # and hostname up as on a machine of its own.
    exec env -i container=zel-sandbox PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        /lib/systemd/systemd --system --unit=zel-sandbox.target --log-target=console \
        --default-standard-output=inherit --default-standard-error=inherit \
        </dev/null >"$logs/systemd.log" 2>&1
elif [ -n "$no_systemd" ]; then
    wait_for 60 test -S "$XDG_RUNTIME_DIR/bus" || fail "dbus-daemon did not start"
else
    manager_up() {
        kill -0 $systemd_pid || return 2
        local state
        state=$(busctl --address="$bus_address" --timeout=1 get-property org.freedesktop.systemd1 \
            /org/freedesktop/systemd1 org.freedesktop.systemd1.Manager SystemState) || return 1
        [ "$state" = 's "running"' ] || [ "$state" = 's "degraded"' ]
    }
    wait_for 60 manager_up || fail "systemd --user did not come up on the bus"
    export ZEL_SYSTEMD_PID=$systemd_pid
    # A hung manager: its name stays on the bus, its calls go unanswered.
    if [ -n "$hung_systemd" ]; then
        kill -STOP "$systemd_pid"
    fi
fi

trap - ERR
set +e
"$@"
exit $?
