#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Usage: flushed-before-rename.sh COMMAND [ARGUMENT...]
#
# Runs COMMAND under strace and checks that every configuration file it put
# in place by a rename was flushed to disk (fsync or fdatasync) after its
# last write and before the rename: otherwise a power cut right after the
# rename can leave an empty file where the old one was.
set -euo pipefail
if ! command -v strace >/dev/null; then
    echo "strace is needed (tools/install-deps.sh installs it)" >&2
    exit 1
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
strace -f -qq -y -o "$log" -e trace=write,pwrite64,writev,pwritev,pwritev2,fsync,fdatasync,rename,renameat,renameat2 -- "$@"

# strace -y shows a descriptor with its path: fsync(7</etc/chrony/.chrony.conf.Jirb0z>) = 0,
# renameat(8</etc/chrony>, ".chrony.conf.Jirb0z", 8</etc/chrony>, "chrony.conf") = 0.
awk '
function path(text) {
    sub(/^[^<]*</, "", text)
    sub(/>.*$/, "", text)
    return text
}
function name(text) {
    sub(/^[^"]*"/, "", text)
    sub(/".*$/, "", text)
    return text
}
/ = -1 / { next }
/ (write|pwrite64|writev|pwritev|pwritev2)\(/ { state[path($0)] = "written"; next }
/ (fsync|fdatasync)\(/ { state[path($0)] = "flushed"; next }
/ (rename|renameat|renameat2)\(/ {
    split($0, arg, ", ")
    if ($0 ~ / rename\(/) {
        from = name(arg[1]); to = name(arg[2])
    } else {
        from = name(arg[2]); to = name(arg[4])
        if (from !~ /^\//) from = path(arg[1]) "/" from
        if (to !~ /^\//) to = path(arg[3]) "/" to
    }
    if (to !~ /\.conf$/) next
    ++renames
    if (state[from] != "flushed") {
        printf "%s replaced %s before it was flushed to disk\n", from, to
        bad = 1
    }
}
END {
    if (!renames) print "no configuration file was replaced"
    else if (!bad) printf "%d configuration files were flushed before they replaced the old ones\n", renames
    exit bad || !renames
}' "$log"
