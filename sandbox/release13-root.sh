#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Makes the Debian 13 root that the Qt 6 / KF6 build is built and tested in:
#
#   release13-root.sh BUILD_DIR      the root is BUILD_DIR/deb13-root
#
# It comes from Debian's own packages (mmdebstrap) and is made again only when
# it is missing, half made, or its package list below changed: the stamp file
# with the list's hash is written last, after the finished root took its place.
# When it cannot be made (no network to Debian's packages, no disk), says so in
# one line and fails. Writes nothing outside BUILD_DIR.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(realpath -m "$1")
root=$build/deb13-root
mirror=${ZEL_DEB13_MIRROR:-http://deb.debian.org/debian}

packages=(
    # build
    cmake g++ make ccache extra-cmake-modules gettext dpkg-dev file
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools
    libkf6coreaddons-dev libkf6i18n-dev libkf6auth-dev libkf6kcmutils-dev
    libkf6configwidgets-dev libkf6widgetsaddons-dev libpolkit-qt6-1-dev
    # the handbook
    libkf6doctools-dev docbook-xml docbook-xsl
    # Qt's own texts in Russian
    qt6-translations-l10n
    # the hosts: kcmshell6 and Plasma 6's System Settings
    libkf6kcmutils-bin systemsettings qt6-qpa-plugins qt6-svg-plugins
    breeze-icon-theme
    # the machine: its system manager, bus, polkit and time services
    systemd systemd-sysv dbus polkitd pkexec chrony ntpsec-ntpdig
    iproute2 procps openssl tzdata strace
    # what ntpsec's ntpq and openntpd's ntpctl need, run from their packages
    python3-ntp libtls28t64
    # on-screen checks
    xvfb xauth imagemagick x11-apps
)
want=$(printf '%s\n' "${packages[@]}" "$mirror" "$(sed -n '/^fetch_services=/,/^        trixie/p' "$0")" | sha256sum | cut -d' ' -f1)
stamp=$root/.zel-root-stamp

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    exit 0
fi

fail() { echo "The Debian 13 root could not be made: $*" >&2; exit 1; }

command -v mmdebstrap >/dev/null || fail "mmdebstrap is not installed (tools/install-deps.sh)"
mkdir -p "$build" || fail "cannot create $build"
free_kb=$(df -Pk "$build" | awk 'NR == 2 { print $4 }')
[ "$free_kb" -ge 4000000 ] || fail "less than 4 GB free under $build"

new=$root.new
# Never into another file system: a root whose maker was killed may still
# have the machine's /dev/shm or /proc mounted in it.
rm -rf --one-file-system "$new" "$root.old" || fail "cannot remove a half-made root at $new (mounts left in it?)"
log=$build/deb13-root.log
start=$SECONDS
include=$(IFS=,; printf '%s' "${packages[*]}")
# apt's lists stay (sandbox/prepare.sh reads the packages' stanzas from them),
# and the four services' packages wait in var/cache/zel-debs: only one of them
# can be installed, and prepare.sh unpacks the others.
fetch_services='mkdir -p "$1/var/cache/zel-debs" && chroot "$1" sh -c "cd /var/cache/zel-debs && apt-get -q -o APT::Sandbox::User=root download chrony systemd-timesyncd ntpsec openntpd"'
# In a mount namespace of its own, the mounts mmdebstrap makes in the root
# while it installs end with it, however it ends.
if ! unshare --mount --propagation private mmdebstrap --variant=apt --include="$include" --skip=cleanup/apt/lists \
        --customize-hook="$fetch_services" \
        trixie "$new" "deb $mirror trixie main" >"$log" 2>&1; then
    rm -rf --one-file-system "$new"
    # The first error says why; the last only that mmdebstrap stopped.
    fail "mmdebstrap failed ($(grep -m 1 '^E: ' "$log" || tail -n 1 "$log"); whole log in $log)"
fi
[ ! -e "$root" ] || mv "$root" "$root.old"
mv "$new" "$root"
rm -rf --one-file-system "$root.old"
echo "$want" > "$stamp"
echo "Made the Debian 13 root in $((SECONDS - start)) s: $(du -sh "$root" | cut -f1) at $root"
