# shellcheck shell=bash disable=SC2154,SC2034 # machine.sh's variables, both ways
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The sandbox machine's system mode, sourced by machine.sh: systemd becomes
# process 1 of the machine's namespaces with Debian's system bus, polkitd and
# the module's KAuth helper activated from the build. This sets the stage;
# machine.sh then replaces itself with systemd, and run.sh enters the
# namespaces (enter.sh) to run the command. Uses machine.sh's variables.

# --- what the kernel offers, read-only ------------------------------------------
# systemd as process 1 raises limits through /proc/sys and would load modules
# and run sysctl units; none of that may reach the machine's kernel.
mount --bind /proc/sys /proc/sys
mount -o remount,bind,ro /proc/sys
mount -o remount,bind,ro /sys
# The control groups as seen from the cgroup namespace: their roots are the
# sandbox's own groups that run.sh made. systemd 256 and later run on the
# unified hierarchy only (Debian 13), which a cgroup2 file system of the
# namespace's own gives them also where the machine has the hybrid layout.
if [ "$(systemd_version)" -ge 256 ]; then
    umount -R /sys/fs/cgroup
    mount -t cgroup2 -o nosuid,nodev,noexec cgroup2 /sys/fs/cgroup
else
    hierarchies=$(awk '{
        for (i = 7; i <= NF && $i != "-"; i++) ;
        if (index($5, "/sys/fs/cgroup/") == 1 && ($(i + 1) == "cgroup" || $(i + 1) == "cgroup2"))
            print $(i + 1), $(i + 3), substr($5, 16)
    }' /proc/self/mountinfo)
    mount -t tmpfs -o mode=0755 zel-cgroup /sys/fs/cgroup
    while read -r type options point; do
        mkdir -p "/sys/fs/cgroup/$point"
        mount -t "$type" -o "$options" "$type" "/sys/fs/cgroup/$point"
    done <<< "$hierarchies"
fi

# --- users ------------------------------------------------------------------------
# The unprivileged user of run.sh --user, added to copies of passwd and group
# bound read-only over the machine's, inside the namespace only.
sandbox_user=zel-user
sandbox_uid=4711
mkdir -p "$ZEL_SANDBOX/etc" "$ZEL_SANDBOX/home/$sandbox_user"
# Its temporary files stay in the sandbox too.
install -d -m 1777 "$ZEL_SANDBOX/tmp"
chown "$sandbox_uid:$sandbox_uid" "$ZEL_SANDBOX/home/$sandbox_user"
{ cat /etc/passwd; echo "$sandbox_user:x:$sandbox_uid:$sandbox_uid:Sandbox user:$ZEL_SANDBOX/home/$sandbox_user:/bin/bash"; } > "$ZEL_SANDBOX/etc/passwd"
{ cat /etc/group; echo "$sandbox_user:x:$sandbox_uid:"; } > "$ZEL_SANDBOX/etc/group"
for f in passwd group; do
    mount --bind "$ZEL_SANDBOX/etc/$f" "/etc/$f"
    mount -o remount,bind,ro "/etc/$f"
done

# --- overlays for the build's bus, polkit and unit files -------------------------
overlay() {
    local dir=$1 layer=$ZEL_SANDBOX/layers$1
    mkdir -p "$layer/upper" "$layer/work"
    mount -t overlay zel-sandbox-usr -o "lowerdir=$dir,upperdir=$layer/upper,workdir=$layer/work" "$dir"
}
for dir in /usr/share/dbus-1 /usr/share/polkit-1 /usr/lib/systemd/system; do
    overlay "$dir"
done
# The unit files that enabling links to live here; the machine's own stay out.
mount -t tmpfs -o mode=0755 zel-units /etc/systemd/system

# The KAuth helper as the bus activates it, with the sandbox's system root.
authhelper=$build/bin/zeladmintime_authhelper
generated=$build/logic/authhelper
helper_id=org.kde.kcontrol.kcmzeladmintime
if [ -x "$authhelper" ] && [ -f "$generated/$helper_id.service" ]; then
    install_wrapper "$ZEL_SANDBOX/authhelper" env "ZELADMINTIME_SYSROOT=$ZELADMINTIME_SYSROOT" "$authhelper"
    sed "s|^Exec=.*|Exec=$ZEL_SANDBOX/authhelper|" "$generated/$helper_id.service" \
        > "/usr/share/dbus-1/system-services/$helper_id.service"
    cp "$generated/$helper_id.conf" /usr/share/dbus-1/system.d/
    cp "$generated/$helper_id.policy" /usr/share/polkit-1/actions/
fi

# The bus lets root own and call anything, as the tests' stand-ins for other
# services need; everybody else gets Debian's policy.
cat > /usr/share/dbus-1/system.d/zel-sandbox.conf <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <policy user="root">
    <allow own="*"/>
    <allow send_destination="*"/>
  </policy>
</busconfig>
END

# With --polkit=ask, root's password in the sandbox is "sandbox", for the
# scripted agent that enter.sh starts to answer with.
if [ "$polkit" = ask ]; then
    hash=$(openssl passwd -6 sandbox)
    awk -F: -v OFS=: -v hash="$hash" '$1 == "root" { $2 = hash } { print }' /etc/shadow > "$ZEL_SANDBOX/etc/shadow"
    chmod 0640 "$ZEL_SANDBOX/etc/shadow"
    mount --bind "$ZEL_SANDBOX/etc/shadow" /etc/shadow
    mount -o remount,bind,ro /etc/shadow
fi

# polkit's answer for the sandbox user, run.sh --polkit=yes|no|ask.
case $polkit in
yes) result=YES ;;
no) result=NO ;;
*) result=AUTH_ADMIN ;;
esac
cat > /usr/share/polkit-1/rules.d/00-zel-sandbox.rules <<END
// The sandbox's answer to every request of its user.
polkit.addRule(function(action, subject) {
    if (subject.user == "$sandbox_user")
        return polkit.Result.$result;
});
// Asking means asking for root's password.
polkit.addAdminRule(function(action, subject) {
    return ["unix-user:0"];
});
END

# --- units ------------------------------------------------------------------------
# machine.sh writes the services' units as system units, and the bus's as
# runtime units with Debian's system policy and activation.
units=/usr/lib/systemd/system
bus_units=/run/systemd/system
bus_socket=/run/dbus/system_bus_socket
bus_options="--system --systemd-activation"
# Where the user-manager mode keeps the units, and a systemctl that leaves out
# --user: commands written for either mode reach the one manager.
mkdir -p "$XDG_CONFIG_HOME/systemd"
rm -rf "$XDG_CONFIG_HOME/systemd/user"
ln -sfn "$units" "$XDG_CONFIG_HOME/systemd/user"
cat > "$bin/systemctl" <<'END'
#!/bin/bash
exec /usr/bin/systemctl "${@/#--user/--system}"
END
chmod 0755 "$bin/systemctl"

# Debian's polkitd, without the default dependencies that would pull in
# sysinit.target and its units acting on the machine's kernel.
runtime=/run/systemd/system
cat > "$runtime/polkit.service" <<END
[Unit]
Description=Authorization Manager
DefaultDependencies=no

[Service]
Type=dbus
BusName=org.freedesktop.PolicyKit1
ExecStart=/usr/lib/polkit-1/polkitd --no-debug
StandardOutput=append:$logs/polkitd.log
StandardError=append:$logs/polkitd.log
END
# Units with default dependencies pull in sysinit.target and basic.target:
# everything those bring along on Debian is masked, and with it whatever
# else acts on the kernel, the clock or the machine's files.
masked=()
for wanted in /usr/lib/systemd/system/{sysinit,sockets,timers,local-fs}.target.wants/*; do
    case ${wanted##*/} in
    '*' | dbus.socket | *.target) ;;
    *) masked+=("${wanted##*/}") ;;
    esac
done
links=()
for unit in "${masked[@]}" \
    systemd-sysctl.service systemd-modules-load.service systemd-remount-fs.service \
    systemd-udevd.service systemd-udev-trigger.service systemd-udev-settle.service \
    systemd-tmpfiles-setup.service systemd-tmpfiles-setup-dev.service \
    systemd-tmpfiles-clean.service systemd-tmpfiles-clean.timer \
    systemd-journald.service systemd-journald.socket systemd-journald-dev-log.socket \
    systemd-journal-flush.service systemd-random-seed.service systemd-binfmt.service \
    proc-sys-fs-binfmt_misc.automount proc-sys-fs-binfmt_misc.mount \
    kmod-static-nodes.service systemd-hwdb-update.service systemd-sysusers.service \
    systemd-firstboot.service systemd-machine-id-commit.service systemd-update-utmp.service \
    systemd-pstore.service systemd-fsck-root.service systemd-logind.service \
    ldconfig.service dev-hugepages.mount dev-mqueue.mount sys-fs-fuse-connections.mount \
    sys-kernel-config.mount sys-kernel-debug.mount sys-kernel-tracing.mount \
    systemd-networkd.service systemd-resolved.service systemd-timedated.service getty.target; do
    links+=("$runtime/$unit")
done
# One process for all the masks: one ln each cost a third of a second a start.
perl -e 'for (@ARGV) { unlink; symlink("/dev/null", $_) or die "$_: $!\n" }' "${links[@]}"
mkdir -p /run/dbus /run/polkit-1
