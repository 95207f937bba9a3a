# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# The sandbox's own control group. systemd --user puts its units into control
# groups below its own; started in the caller's group it would use the
# hierarchy's root, which every sandbox running at the same time would share
# (stopping a unit in one would end the other's processes), and leave its
# groups behind. So each sandbox's manager starts in a group of its own, named
# like the sandbox's folder, which run.sh removes afterwards. Sourced, not run.

# The mount points of every hierarchy (the unified one, name=systemd and each
# controller's), where mounted at their root. A systemd that is process 1 of a
# cgroup namespace takes the namespace's root group of each as its own, so
# the sandbox needs a fresh group in all of them.
sandbox_cgroup_hierarchies() {
    awk '{
        for (i = 7; i <= NF && $i != "-"; i++) ;
        type = $(i + 1)
        if ($4 == "/" && (type == "cgroup2" || type == "cgroup")) print $5
    }' /proc/self/mountinfo
}

# sandbox_cgroup_enter NAME: moves the calling shell into group NAME of each
# hierarchy, creating it. Fails when that was not possible in one of them.
sandbox_cgroup_enter() {
    local h f entered=0
    for h in $(sandbox_cgroup_hierarchies); do
        mkdir -p "$h/$1" 2>/dev/null || { entered=1; continue; }
        # A new cpuset group has no CPUs and memory nodes until given some.
        for f in cpuset.cpus cpuset.mems; do
            [ ! -e "$h/$1/$f" ] || [ -n "$(cat "$h/$1/$f")" ] || cat "$h/$f" > "$h/$1/$f" 2>/dev/null || true
        done
        echo "$BASHPID" > "$h/$1/cgroup.procs" 2>/dev/null || entered=1
    done
    return $entered
}

# sandbox_cgroup_unused NAME: whether no process is left in group NAME.
sandbox_cgroup_unused() {
    local h
    for h in $(sandbox_cgroup_hierarchies); do
        [ ! -d "$h/$1" ] || [ -z "$(find "$h/$1" -name cgroup.procs -exec cat {} + 2>/dev/null)" ] || return 1
    done
}

# sandbox_cgroup_remove NAME [TRIES]: removes group NAME and its subgroups once
# their processes are gone, trying every 0.1 s, 10 times unless told.
sandbox_cgroup_remove() {
    local h try
    for h in $(sandbox_cgroup_hierarchies); do
        [ -d "$h/$1" ] || continue
        for ((try = ${2:-10}; try > 0; try--)); do
            find "$h/$1" -depth -type d -exec rmdir {} + 2>/dev/null
            [ -d "$h/$1" ] || break
            [ $try -eq 1 ] || sleep 0.1
        done
    done
}
