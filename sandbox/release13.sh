#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Runs a command inside the Debian 13 root (release13-root.sh makes it when
# needed), for the Qt 6 / KF6 build:
#
# Usage: see usage() below.
#
# The command runs in private mount, pid, network (loopback only), UTS and
# IPC namespaces chrooted into the root, with its own /proc, /run and a
# minimal /dev, without CAP_SYS_TIME or CAP_SYS_MODULE; everything it started
# ends with it. It shares the machine's /tmp, where sandbox machines keep
# their locked folders, and sees the machine's control groups under a
# read-only /sys: run.sh starts its sandbox machine from inside the root as
# on Debian 12, in control groups of its own that it removes afterwards.
# Exits with the command's status; 125 when the root could not be made or
# entered.
set -euo pipefail

usage() {
    cat >&2 <<'END'
release13.sh --build-dir DIR [--scratch] -- command args...

  DIR/deb13-root    the root, read-only inside
  DIR/deb13-build   the Qt 6 build folder, at /build inside
  DIR/deb13-ccache  the compiler cache, at /ccache inside
  the source tree   at /src inside, read-only
  --scratch         the root is writable, as a copy of it in memory (an
                    overlay) that is gone afterwards, e.g. to install a
                    package with apt
END
    exit 2
}

here=$(cd "$(dirname "$0")" && pwd)
build=
inside=
scratch=
while [ $# -gt 0 ]; do
    case $1 in
    --build-dir) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
    --scratch) scratch=1; shift ;;
    --help) usage ;;
    --inside) inside=1; shift; break ;;
    --) shift; break ;;
    *) usage ;;
    esac
done

if [ -n "$inside" ]; then
    # Second stage: process 1 of the new namespaces, still outside the root.
    root=$1 src=$2 qtbuild=$3 cache=$4 scratch=$5
    shift 5
    if [ -n "$scratch" ]; then
        # The namespace's own tmpfs under the image's /mnt holds the overlay.
        mount -t tmpfs -o mode=755 tmpfs "$root/mnt"
        mkdir "$root/mnt/upper" "$root/mnt/work" "$root/mnt/root"
        mount -t overlay overlay -o "lowerdir=$root,upperdir=$root/mnt/upper,workdir=$root/mnt/work" "$root/mnt/root"
        root=$root/mnt/root
    fi
    mount --bind "$root" "$root"
    mount --bind -o ro "$src" "$root/src"
    mount -o remount,bind,ro "$root/src"
    mount --bind "$qtbuild" "$root/build"
    mount --bind "$cache" "$root/ccache"
    mount -t proc -o nosuid,nodev,noexec proc "$root/proc"
    for d in run var/tmp root; do
        mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$root/$d"
    done
    mount --bind /tmp "$root/tmp"
    mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
    mount --rbind /sys/fs/cgroup "$root/sys/fs/cgroup"
    chmod 700 "$root/root"
    # D-Bus and KDE programs want a machine id; the image's is empty.
    tr -d '-' < /proc/sys/kernel/random/uuid > "$root/run/machine-id"
    mount --bind "$root/run/machine-id" "$root/etc/machine-id"
    mount -t tmpfs -o nosuid,mode=755 tmpfs "$root/dev"
    for n in null zero full random urandom tty; do
        : > "$root/dev/$n"
        mount --bind "/dev/$n" "$root/dev/$n"
    done
    mkdir "$root/dev/shm" "$root/dev/pts"
    mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$root/dev/shm"
    # Terminals of its own, for script(1) and polkit's text agent.
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
    ln -s pts/ptmx "$root/dev/ptmx"
    ln -s /proc/self/fd "$root/dev/fd"
    [ -n "$scratch" ] || mount -o remount,bind,ro "$root"
    ip link set lo up
    hostname deb13
    status=0
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CCACHE_DIR=/ccache CCACHE_BASEDIR=/ \
        ZEL_RELEASE=13 "$@" || status=$?
    exit "$status"
fi

[ -n "$build" ] && [ $# -gt 0 ] || usage
build=$(realpath -m "$build")
src=$(cd "$here/.." && pwd)
bash "$here/release13-root.sh" "$build" || exit 125
root=$build/deb13-root
mkdir -p "$build/deb13-build" "$build/deb13-ccache"
# The mount points, made once in the image.
for d in src build ccache; do
    [ -d "$root/$d" ] || mkdir "$root/$d"
done
exec setpriv --pdeathsig KILL --bounding-set -sys_time,-sys_module --inh-caps -sys_time,-sys_module -- \
    unshare --mount --pid --net --uts --ipc --fork --kill-child --propagation private \
    bash "$0" --inside "$root" "$src" "$build/deb13-build" "$build/deb13-ccache" "$scratch" "$@"
