#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Opens the built module in kcmshell5 or kcmshell6; usage() below says how.
set -euo pipefail

usage() {
    cat >&2 <<'END'
Opens the built module in kcmshell5 (a Qt 6 / KF6 build: kcmshell6):

  module-session.sh BUILD_DIR [--screenshot FILE] [--until FILE]
                    [--wait SECONDS] [--prefix DIR] [--preload LIBRARY]
                    [--systemsettings]

kcmshell5 finds modules without JSON metadata through KService only, so a
staging folder under BUILD_DIR carries the module's desktop file, with a
private KService cache built by kbuildsycoca5; the plug-in itself is found
through QT_PLUGIN_PATH, the translations in BUILD_DIR/locale. With --prefix,
the module installed under DIR (e.g. a staging install or an unpacked
package, DIR being its usr folder) is opened instead, with its plug-in,
libraries, desktop file and translations. --preload loads LIBRARY into
kcmshell5 alone (tests read its widgets that way). Without a display (or
with --screenshot) it runs kcmshell5 under its own Xvfb when there is no
DISPLAY, waits until the module's window shows on the screen (with
--until: until FILE is not empty, e.g. a preloaded probe's mark), writes a screenshot of the
whole screen, prints its path and ends kcmshell5 and Xvfb. --wait is only
the limit of that wait (default 90 s): a busy machine takes its time.
Exits non-zero when kcmshell5 ended before the screenshot or the wait
reached its limit.
Without a session bus it runs itself again under dbus-run-session.
KF6 hosts find the module by its plug-in path (QT_PLUGIN_PATH), with no
desktop file or cache. --systemsettings opens it in System Settings 6.
END
    exit 2
}

src=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || usage
build=$(realpath "$1")
shift
shot=
wait_seconds=90
until=
prefix=
preload=
systemsettings=
while [ $# -gt 0 ]; do
    case $1 in
    --screenshot) [ $# -ge 2 ] || usage; shot=$(realpath -m "$2"); shift 2 ;;
    --wait) [ $# -ge 2 ] || usage; wait_seconds=$2; shift 2 ;;
    --until) [ $# -ge 2 ] || usage; until=$(realpath -m "$2"); shift 2 ;;
    --prefix) [ $# -ge 2 ] || usage; prefix=$(realpath "$2"); shift 2 ;;
    --preload) [ $# -ge 2 ] || usage; preload=$(realpath "$2"); shift 2 ;;
    --systemsettings) systemsettings=1; shift ;;
    *) usage ;;
    esac
done
# A user who may not write into the build folder (sandbox/run.sh --user)
# gets the staging folder and the screenshot in a temporary folder.
stage_base=$build
[ -w "$build" ] || stage_base=$(mktemp -d "${TMPDIR:-/tmp}/zel-session.XXXXXX")
if [ -n "$prefix" ]; then
    plugin=$(find "$prefix" -name kcm_zel_admin_time.so -path '*/plugins/*' | head -n 1)
    [ -n "$plugin" ] || { echo "module-session.sh: no kcm_zel_admin_time.so under $prefix" >&2; exit 2; }
    library=$(find "$prefix" -name libzeladmintime.so.1 | head -n 1)
    [ -n "$library" ] || { echo "module-session.sh: no libzeladmintime.so.1 under $prefix" >&2; exit 2; }
else
    plugin=$build/bin/kcm_zel_admin_time.so
    [ -f "$plugin" ] || plugin=$build/bin/plasma/kcms/systemsettings_qwidgets/kcm_zel_admin_time.so
    [ -f "$plugin" ] || { echo "module-session.sh: $build/bin/kcm_zel_admin_time.so is not built" >&2; exit 2; }
fi
# The release's host: KF6 plug-ins live under plasma/kcms/.
kf=5
plugin_dir=$(dirname "$plugin")
case $plugin in
*/plasma/kcms/*) kf=6; plugin_dir=${plugin%%/plasma/kcms/*} ;;
esac
host=kcmshell$kf
[ -z "$systemsettings" ] || host=systemsettings
[ "$kf" = 6 ] || [ -z "$systemsettings" ] || { echo "module-session.sh: --systemsettings needs a KF6 build" >&2; exit 2; }

if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -z "${_ZEL_SESSION_BUS:-}" ]; then
    args=("$build" --wait "$wait_seconds")
    [ -z "$shot" ] || args+=(--screenshot "$shot")
    [ -z "$until" ] || args+=(--until "$until")
    [ -z "$prefix" ] || args+=(--prefix "$prefix")
    [ -z "$preload" ] || args+=(--preload "$preload")
    [ -z "$systemsettings" ] || args+=(--systemsettings)
    exec env _ZEL_SESSION_BUS=1 dbus-run-session -- bash "$0" "${args[@]}"
fi

if [ -n "$prefix" ]; then
    # One staging folder for each installed tree: its own KService cache.
    stage=$stage_base/kcm-staging-$(printf '%s' "$prefix" | md5sum | cut -c1-8)
    mkdir -p "$stage/cache"
    export XDG_DATA_DIRS=$prefix/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
    LD_LIBRARY_PATH=$(dirname "$library")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
    export LD_LIBRARY_PATH
else
    stage=$stage_base/kcm-staging
    mkdir -p "$stage/share/kservices5" "$stage/cache"
    [ "$kf" = 6 ] || cp "$src/plugin/kcm_zel_admin_time.desktop" "$stage/share/kservices5/"
    # $build/locale/<language>/LC_MESSAGES holds the compiled translations.
    export XDG_DATA_DIRS=$stage/share:$build:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
fi
export XDG_CACHE_HOME=$stage/cache
export QT_PLUGIN_PATH=$plugin_dir${QT_PLUGIN_PATH:+:$QT_PLUGIN_PATH}
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d /tmp/zel-runtime.XXXXXX)
    export XDG_RUNTIME_DIR
fi

xvfb=
kcmshell=
finish() {
    # Only what this script started, by PID.
    if [ -n "$kcmshell" ]; then kill "$kcmshell" 2>/dev/null || true; wait "$kcmshell" 2>/dev/null || true; fi
    if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
}
trap finish EXIT

if [ -z "${DISPLAY:-}" ]; then
    displayfile=$stage/display
    rm -f "$displayfile"
    Xvfb -displayfd 3 -screen 0 1600x1400x24 -nolisten tcp 3>"$displayfile" >"$stage/xvfb.log" 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
        [ -s "$displayfile" ] && break
        kill -0 "$xvfb" 2>/dev/null || { cat "$stage/xvfb.log" >&2; exit 1; }
        sleep 0.1
    done
    [ -s "$displayfile" ] || { echo "module-session.sh: Xvfb did not start" >&2; exit 1; }
    DISPLAY=:$(head -n1 "$displayfile")
    export DISPLAY
    # Qt's KDE theme, without a Plasma session around it, picks Breeze icons.
    export XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=$kf
    [ -n "$shot" ] || shot=$stage_base/kcm_zel_admin_time-screenshot.png
fi

[ "$kf" = 6 ] || kbuildsycoca5 --noincremental >"$stage/kbuildsycoca5.log" 2>&1

if [ -z "$shot" ]; then
    # A real display: the user closes the window.
    trap - EXIT
    exec "$host" kcm_zel_admin_time
fi

log=$stage/$host.log
env ${preload:+LD_PRELOAD=$preload} "$host" kcm_zel_admin_time >"$log" 2>&1 &
kcmshell=$!
# Shown: the probe's mark, or else a screen that is no longer one colour.
shown() {
    if [ -n "$until" ]; then
        [ -s "$until" ]
        return
    fi
    import -window root "$shot" 2>/dev/null || return 1
    awk -v d="$(convert "$shot" -format '%[fx:standard_deviation]' info: 2>/dev/null)" 'BEGIN { exit !(d > 0.01) }'
}
deadline=$((SECONDS + wait_seconds))
until shown; do
    if ! kill -0 "$kcmshell" 2>/dev/null; then
        kcmshell=
        echo "module-session.sh: $host ended early:" >&2
        cat "$log" >&2
        exit 1
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
        echo "module-session.sh: the module did not show within ${wait_seconds} s" >&2
        cat "$log" >&2
        exit 1
    fi
    sleep 0.2
done
import -window root "$shot"
echo "Screenshot: $shot"
