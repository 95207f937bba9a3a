# shellcheck shell=bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# dpkg status helpers shared by the sandbox machine and its synaptic-pkexec
# stand-in. Sourced, not run.

# status_stanza LIST PACKAGE: PACKAGE's stanza from the apt list LIST, the way
# dpkg's status file holds it once the package is installed.
status_stanza() {
    awk -v pkg="$2" '
        BEGIN { RS = ""; FS = "\n" }
        {
            name = $1; sub(/^Package:[ \t]*/, "", name)
            if ($1 !~ /^Package:/ || name != pkg) next
            drop = 0
            for (i = 1; i <= NF; i++) {
                line = $i
                if (line ~ /^[ \t]/) { if (!drop) print line; continue }
                drop = (line ~ /^(Filename|Size|MD5sum|SHA1|SHA256|SHA512|Description-md5|Tag):/)
                if (!drop) print line
                if (i == 1) print "Status: install ok installed"
            }
            print ""
            exit
        }' "$1"
}

# status_without FILE PACKAGE: FILE's stanzas except PACKAGE's.
status_without() {
    awk -v pkg="$2" '
        BEGIN { RS = ""; FS = "\n"; ORS = "\n\n" }
        {
            name = $1; sub(/^Package:[ \t]*/, "", name)
            if (name != pkg) print
        }' "$1"
}
