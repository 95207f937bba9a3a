#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Checks an installed tree (a staging install or an unpacked package) for
# what the module needs where the system looks for it:
#
#   check-tree.sh ROOT      (ROOT holds usr/)
set -euo pipefail
# msgunfmt writes in the locale's character set.
export LC_ALL=C.UTF-8
[ $# -eq 1 ] || { echo "usage: $0 ROOT" >&2; exit 2; }
root=$(realpath "$1")
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

last=
one() {
    # Exactly one file matching the path pattern under ROOT; its path in $last.
    local pattern=$1
    last=$(cd "$root" && find . \( -type f -o -type l \) -path "./$pattern" | sed 's:^\./::')
    if [ "$(printf '%s' "$last" | grep -c .)" -ne 1 ]; then
        fail "expected one $pattern, found: ${last:-nothing}"
    else
        echo "ok: $last"
    fi
    last=$root/$last
}

# KF5 finds the module through its desktop file, KF6 by its plug-in path.
if [ -n "$(cd "$root" && find usr -path '*/qt6/plugins/*' -name kcm_zel_admin_time.so)" ]; then
    one 'usr/lib/*/qt6/plugins/plasma/kcms/systemsettings_qwidgets/kcm_zel_admin_time.so'
    plugin=$last
    one 'usr/share/applications/kcm_zel_admin_time.desktop'
    desktop=
else
    one 'usr/lib/*/qt5/plugins/kcm_zel_admin_time.so'
    plugin=$last
    one 'usr/share/kservices5/kcm_zel_admin_time.desktop'
    desktop=$last
fi
one 'usr/lib/*/libzeladmintime.so.1'
libdir=$(dirname "$last")
one 'usr/lib/*/libvrqhelper.so.1'
one 'usr/share/locale/ru/LC_MESSAGES/kcm_zel_admin_time.mo'
one 'usr/share/dbus-1/system.d/org.kde.kcontrol.kcmzeladmintime.conf'
one 'usr/share/dbus-1/system-services/org.kde.kcontrol.kcmzeladmintime.service'
one 'usr/share/polkit-1/actions/org.kde.kcontrol.kcmzeladmintime.policy'
one 'usr/lib/*/zeladmintime_authhelper'

# No development links, and nothing outside usr/.
for dev in libzeladmintime.so libvrqhelper.so; do
    [ -z "$(find "$root" -name "$dev")" ] || fail "development link $dev installed"
done
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr ! -name DEBIAN)
[ -z "$outside" ] || fail "installed outside usr/: $outside"

# The libraries' sonames are the names they are installed under.
for lib in libzeladmintime.so.1 libvrqhelper.so.1; do
    soname=$(objdump -p "$libdir/$lib" | awk '$1 == "SONAME" { print $2 }')
    [ "$soname" = "$lib" ] || fail "$lib has the soname '$soname'"
done

# The plug-in finds its libraries in the tree and everything else on the system.
missing=$(LD_LIBRARY_PATH=$libdir ldd "$plugin" | grep 'not found' || true)
[ -z "$missing" ] || fail "unresolved libraries of the plug-in: $missing"
for lib in libzeladmintime.so.1 libvrqhelper.so.1; do
    LD_LIBRARY_PATH=$libdir ldd "$plugin" | grep "$lib => $libdir/" >/dev/null || fail "the plug-in does not use $libdir/$lib"
done

# D-Bus starts the helper from where it is installed.
service=$root/usr/share/dbus-1/system-services/org.kde.kcontrol.kcmzeladmintime.service
exec_path=$(sed -n 's/^Exec=//p' "$service")
[ -x "$root$exec_path" ] || fail "the D-Bus service starts $exec_path, which the tree does not have"
grep -q '^User=root' "$service" || fail "the helper does not run as root"
grep -q 'org.kde.kcontrol.kcmzeladmintime.writeconfig' \
    "$root/usr/share/polkit-1/actions/org.kde.kcontrol.kcmzeladmintime.policy" || fail "the polkit action is missing"

# kcmshell5 and System Settings find the module by its desktop file; their
# KF6 forms read the metadata embedded in the plug-in.
if [ -n "$desktop" ]; then
    for line in 'X-KDE-Library=kcm_zel_admin_time' 'X-KDE-ServiceTypes=KCModule' \
                'X-KDE-System-Settings-Parent-Category=regionalsettings'; do
        grep -qx "$line" "$desktop" || fail "the desktop file lacks $line"
    done
else
    for key in X-KDE-System-Settings-Parent-Category regionalsettings preferences-system-time; do
        grep -qa "$key" "$plugin" || fail "the plug-in's metadata lacks $key"
    done
fi

# The host's Help opens help:/X-DocPath, which KHelpCenter looks up in
# share/doc/HTML/<language>/ as the compiled handbook next to its sources.
# KF6 reads it from the metadata embedded in the plug-in.
if [ -n "$desktop" ]; then
    docpath=$(sed -n 's/^X-DocPath=//p' "$desktop")
else
    docpath=$(strings "$plugin" | grep -o 'kcontrol/kcm_zel_admin_time/index.html' | head -n 1)
fi
[ -n "$docpath" ] || fail "the desktop file names no handbook (X-DocPath)"
for handbook in "en Time Synchronization" "ru Синхронизация времени"; do
    cache=$root/usr/share/doc/HTML/${handbook%% *}/$(dirname "${docpath:-none/x}")/index.cache.bz2
    bzcat "$cache" 2>/dev/null | grep "<title>${handbook#* }" >/dev/null || fail "no handbook titled '${handbook#* }' at $cache"
done

# The compiled catalog translates.
mo=$root/usr/share/locale/ru/LC_MESSAGES/kcm_zel_admin_time.mo
msgunfmt "$mo" | grep 'msgstr "Синхронизация времени"' >/dev/null || fail "the Russian catalog is not the translation"

[ $status -eq 0 ] && echo "The tree at $root is complete."
exit $status
