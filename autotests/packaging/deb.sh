#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Builds the Debian package with CPack, checks its control data (every
# dependency can be met from this Debian release's archive) and its files,
# and unpacks it with dpkg -x into OUT_DIR/root. Nothing is installed.
#
#   deb.sh SOURCE_DIR BUILD_DIR OUT_DIR VERSION
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 SOURCE_DIR BUILD_DIR OUT_DIR VERSION" >&2; exit 2; }
src=$1
build=$2
out=$3
version=$4
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$(realpath "$out")")
debs=("$out"/kcm-zel-admin-time_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single package in $out" >&2; exit 1; }
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "kcm-zel-admin-time_${version}_${arch}.deb" ] || fail "package file named $(basename "$deb")"
dpkg-deb -I "$deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kcm-zel-admin-time ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"

depends=$(field Depends)
# The libraries come from dpkg-shlibdeps; the rest is what the module runs.
# Debian 13's names for a Qt 6 / KF6 build, Debian 12's otherwise.
if dpkg-deb -c "$deb" | grep '/qt6/plugins/' >/dev/null; then
    wanted_list=(libc6 libqt6core6t64 libqt6widgets6 libqt6dbus6 libkf6kcmutils6 libkf6i18n6 libkf6authcore6
                 'libkf6kcmutils-bin | systemsettings' polkitd pkexec ntpsec-ntpdig)
else
    wanted_list=(libc6 libqt5core5a libqt5widgets5 libqt5dbus5 libkf5configwidgets5 libkf5i18n5 libkf5authcore5
                 'kde-cli-tools | systemsettings' 'polkitd | policykit-1' 'pkexec | policykit-1' ntpsec-ntpdig)
fi
for wanted in "${wanted_list[@]}"; do
    printf '%s\n' "$depends" | tr ',' '\n' | sed 's/^ *//' | grep "^$wanted\b" >/dev/null || fail "Depends lacks $wanted"
done
printf '%s' "$depends" | grep 'zeladmintime\|vrqhelper' >/dev/null && fail "Depends names the package's own libraries"
qt_translations=qttranslations5-l10n
! dpkg-deb -c "$deb" | grep '/qt6/plugins/' >/dev/null || qt_translations=qt6-translations-l10n
[ "$(field Recommends)" = "synaptic, $qt_translations" ] || fail "Recommends: $(field Recommends)"

# Each dependency group can be met by a package this machine's archive
# offers, in a version that satisfies it (Debian 12 here, or 13 in its root).
groups=$(printf '%s, %s\n' "$depends" "$(field Recommends)" | tr ',' '\n' | sed 's/^ *//; s/ *$//')
# Every named package's installed and candidate version, "name version" a
# line, from one apt-cache call (it loads the whole cache each time).
mapfile -t names < <(printf '%s\n' "$groups" | tr '|' '\n' | sed 's/(.*//; s/ //g' | grep . | sort -u)
policy=$(apt-cache policy "${names[@]}" |
    awk '/^[^ ]/ { name = $1; sub(/:.*/, "", name) } $1 == "Installed:" || $1 == "Candidate:" { print name, $2 }')
satisfiable() {
    local alternative name op want candidate
    IFS='|' read -ra alternatives <<<"$1"
    for alternative in "${alternatives[@]}"; do
        read -r name op want <<<"$(printf '%s' "$alternative" | sed 's/[()]/ /g')"
        for candidate in $(printf '%s\n' "$policy" | awk -v name="$name" '$1 == name { print $2 }'); do
            [ "$candidate" != "(none)" ] || continue
            if [ -z "$op" ] || dpkg --compare-versions "$candidate" "$op" "$want"; then
                return 0
            fi
        done
    done
    return 1
}
# Without package lists (apt-get update never ran) only installed packages
# are known: what they cannot meet is then left unchecked.
lists=$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' 2>/dev/null | head -n 1)
while IFS= read -r group; do
    [ -z "$group" ] && continue
    if satisfiable "$group"; then
        echo "ok: $group"
    elif [ -z "$lists" ]; then
        echo "unchecked (no package lists): $group"
    else
        fail "cannot be met: $group"
    fi
done <<<"$groups"

dpkg-deb -c "$deb"
# Files owned by root, nothing writable by others.
dpkg-deb -c "$deb" | awk '$2 != "root/root" || ($1 !~ /^l/ && $1 ~ /^.{8}w/) { bad = 1; print "FAIL: " $0 } END { exit bad }' || status=1

dpkg-deb -x "$deb" "$out/root"
bash "$src/autotests/packaging/check-tree.sh" "$out/root" || status=1
exit $status
