#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Prepares what the sandbox machine (run.sh) needs, under BUILD_DIR/sandbox:
#   debs/                  the Debian packages of the four time services
#   chrony/                chrony's package unpacked: chronyd and chronyc run from
#                          here, because installing chrony would remove
#                          systemd-timesyncd (both provide time-daemon)
#   ntpsec/, openntpd/     ntpq and ntpctl from those packages
#   stock/<package>/...    each package's stock configuration and unit files,
#                          at the paths the package installs them to (units
#                          under lib/systemd/system in both releases)
#   Packages               the packages' stanzas as apt's lists carry them
#   status-base            a few unrelated dpkg status stanzas of this machine
# Installs nothing. Quick when everything is there already.
set -euo pipefail

usage() { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
[ $# -eq 1 ] || usage
out=$(realpath -m "$1")/sandbox
here=$(cd "$(dirname "$0")" && pwd)
packages=(chrony systemd-timesyncd ntpsec openntpd)
# Unrelated packages whose status stanzas make the sandbox's dpkg status look real.
base_packages=(libc6 systemd dbus tzdata)

stamp=$out/.prepared
want_stamp=$(sha256sum "$here/prepare.sh" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want_stamp" ] &&
   [ -x "$out/chrony/usr/sbin/chronyd" ] && [ -s "$out/Packages" ]; then
    exit 0
fi

mkdir -p "$out/debs"
rm -f "$stamp"

deb_of() { compgen -G "$out/debs/$1_*.deb" | head -n1; }

download() {
    (cd "$out/debs" && apt-get -q -o APT::Sandbox::User=root download "$@")
}

# The Debian 13 root brings its release's packages along (release13-root.sh).
if [ -d /var/cache/zel-debs ]; then
    for deb in /var/cache/zel-debs/*.deb; do
        [ -e "$out/debs/${deb##*/}" ] || cp "$deb" "$out/debs/"
    done
fi

missing=()
for p in "${packages[@]}"; do
    [ -n "$(deb_of "$p")" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if ! download "${missing[@]}"; then
        # The package lists may be missing or stale on a fresh machine.
        apt-get update -q
        download "${missing[@]}"
    fi
fi

work=$(mktemp -d "$out/unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT

rm -rf "$out/stock" "$out/chrony"
for p in "${packages[@]}"; do
    deb=$(deb_of "$p")
    dpkg-deb -x "$deb" "$work/$p"
    dest=$out/stock/$p
    mkdir -p "$dest"
    [ -d "$work/$p/etc" ] && cp -a "$work/$p/etc" "$dest/"
    # Debian 13's packages install their units under /usr (merged /usr); the
    # sandbox takes them from lib/systemd/system in both releases.
    for units in "$work/$p/lib/systemd/system" "$work/$p/usr/lib/systemd/system"; do
        [ -d "$units" ] || continue
        mkdir -p "$dest/lib/systemd"
        cp -a "$units" "$dest/lib/systemd/"
    done
done

# chrony ships its configuration under /usr/share/chrony; its postinst puts it
# into /etc/chrony, where a machine has it.
mkdir -p "$out/stock/chrony/etc/chrony" "$out/stock/chrony/usr/share"
cp -a "$work/chrony/usr/share/chrony" "$out/stock/chrony/usr/share/"
cp "$work/chrony/usr/share/chrony/chrony.conf" "$out/stock/chrony/etc/chrony/chrony.conf"
cp "$work/chrony/usr/share/chrony/chrony.keys" "$out/stock/chrony/etc/chrony/chrony.keys"

mv "$work/chrony" "$out/chrony"
# ntpsec's ntpq and openntpd's ntpctl, the status tools of those services; the
# sandbox leaves out one that does not run here.
rm -rf "$out/ntpsec" "$out/openntpd"
mkdir -p "$out/ntpsec/usr/bin" "$out/openntpd/usr/sbin"
cp -a "$work/ntpsec/usr/bin/ntpq" "$out/ntpsec/usr/bin/"
cp -a "$work/openntpd/usr/sbin/ntpctl" "$out/openntpd/usr/sbin/"
"$out/ntpsec/usr/bin/ntpq" --version >/dev/null 2>&1 || rm "$out/ntpsec/usr/bin/ntpq"
if ldd "$out/openntpd/usr/sbin/ntpctl" | grep -q 'not found'; then rm "$out/openntpd/usr/sbin/ntpctl"; fi

for bin in "$out/chrony/usr/sbin/chronyd" "$out/chrony/usr/bin/chronyc"; do
    if ldd "$bin" | grep -q 'not found'; then
        echo "$0: libraries missing for $bin (see tools/install-deps.sh):" >&2
        ldd "$bin" | grep 'not found' >&2
        exit 1
    fi
    "$bin" --version >/dev/null
done

# The first stanza is the candidate version, as apt's lists have it.
first_stanza() { awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == 1 { print; exit }'; }
show() { apt-cache show --no-all-versions "$1" 2>/dev/null | first_stanza; }

: > "$work/Packages"
for p in "${packages[@]}"; do
    stanza=$(show "$p")
    if [ -z "$stanza" ]; then
        apt-get update -q
        stanza=$(show "$p")
    fi
    [ -n "$stanza" ] || { echo "$0: apt knows no package $p" >&2; exit 1; }
    printf '%s\n\n' "$stanza" >> "$work/Packages"
done
mv "$work/Packages" "$out/Packages"

: > "$work/status-base"
for p in "${base_packages[@]}"; do
    stanza=$(dpkg-query -s "$p" 2>/dev/null | first_stanza) || true
    [ -z "$stanza" ] || printf '%s\n\n' "$stanza" >> "$work/status-base"
done
mv "$work/status-base" "$out/status-base"

echo "$want_stamp" > "$stamp"
