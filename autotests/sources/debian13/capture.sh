#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Captures, inside a scratch copy of the Debian 13 root, what Debian 13's
# time services answer when asked the way the library asks them, and keeps
# it as the parsers' fixtures (never edited by hand):
#
#   bash sandbox/release13.sh --build-dir build --scratch -- \
#       bash /src/autotests/sources/debian13/capture.sh /build/debian13-fixtures
#
# A chronyd on 127.0.0.2 (local stratum 8) serves the others; no daemon may
# set the clock there (no CAP_SYS_TIME, chronyd -x). Files:
#   chrony-SCENARIO.sources  chronyc -c -n -m sources sourcestats
#   chrony-SCENARIO.state    chronyc -c -n -m tracking selectdata activity
#     (synchronized: 127.0.0.2; unreachable: only 127.0.0.4, where no one answers)
#   chrony.tracking          chronyc -n -c tracking
#   chrony.authdata          chronyc -c -n authdata
#   ntpq.peers, ntpq.rv      ntpq -n -w -c peers, ntpq -n -c rv (ntpsec's ntpd; 192.0.2.2 answers, 192.0.2.4 not)
#   timesyncd.json           busctl --json=short call ... GetAll org.freedesktop.timesync1.Manager
#                            (systemd-timesyncd on a private system bus, NTP=127.0.0.2)
#   Packages                 apt-cache show --no-all-versions of the four services' packages
set -euo pipefail
[ "${ZEL_RELEASE:-}" = 13 ] && [ $# -eq 1 ] || { echo "usage (in the Debian 13 root): $0 OUT_DIR" >&2; exit 2; }
out=$1
mkdir -p "$out"
work=$(mktemp -d)
chmod 755 "$work" # timesyncd runs as its own user from here
debs=/var/cache/zel-debs

# Waits up to 60 s for a command's output to match a pattern.
wait_for() {
    local pattern=$1 i
    shift
    for ((i = 0; i < 120; i++)); do
        "$@" 2>/dev/null | grep -E "$pattern" >/dev/null && return 0 # all read: no SIGPIPE
        sleep 0.5
    done
    echo "capture.sh: no '$pattern' from $* within 60 s" >&2
    return 1
}

apt-cache show --no-all-versions chrony systemd-timesyncd ntpsec openntpd > "$out/Packages"

# The server every client follows.
ip addr add 127.0.0.2/8 dev lo 2>/dev/null || true
printf '%s\n' "local stratum 8" "allow" "bindaddress 127.0.0.2" "port 123" "cmdport 0" \
    "bindcmdaddress $work/server.sock" "pidfile $work/server.pid" > "$work/server.conf"
chronyd -x -u root -f "$work/server.conf" -l "$work/server.log" </dev/null

# chronyd as the library's client sees it: its command socket at the default place.
client() {
    [ ! -f "$work/client.pid" ] || { kill "$(cat "$work/client.pid")"; sleep 1; }
    printf '%s\n' "$@" "port 0" "cmdport 0" "pidfile $work/client.pid" "driftfile $work/drift" > "$work/client.conf"
    [ -d /run/chrony ] || mkdir -m 0750 /run/chrony
    chronyd -x -u root -f "$work/client.conf" -l "$work/client.log" </dev/null
    wait_for . chronyc -c -n tracking
}
fast="iburst minpoll -2 maxpoll -2"
client "server 127.0.0.2 $fast"
wait_for '^\*' chronyc -c -n selectdata
sleep 3 # a few more samples for sourcestats
chronyc -c -n -m sources sourcestats > "$out/chrony-synchronized.sources"
chronyc -c -n -m tracking selectdata activity > "$out/chrony-synchronized.state"
chronyc -n -c tracking > "$out/chrony.tracking"
chronyc -c -n authdata > "$out/chrony.authdata"
client "server 127.0.0.4 $fast"
wait_for '^\^,\?,127\.0\.0\.4,0,-?[0-9]+,0,' chronyc -c -n sources
sleep 3
chronyc -c -n -m sources sourcestats > "$out/chrony-unreachable.sources"
chronyc -c -n -m tracking selectdata activity > "$out/chrony-unreachable.state"
kill "$(cat "$work/client.pid")"

# ntpsec's ntpd from its package. It refuses loopback servers: the server
# gets a documentation address on lo. Debian's stock restrict lines.
ip addr add 192.0.2.1/32 dev lo
ip addr add 192.0.2.2/32 dev lo
sed -e 's/127.0.0.2/192.0.2.2/' -e "s|server\.|server2.|" "$work/server.conf" > "$work/server2.conf"
chronyd -x -u root -f "$work/server2.conf" -l "$work/server2.log" </dev/null
dpkg-deb -x "$(ls $debs/ntpsec_*.deb)" "$work/ntpsec"
printf '%s\n' "server 192.0.2.2 iburst minpoll 3 maxpoll 3" "server 192.0.2.4 iburst minpoll 3 maxpoll 3" \
    "interface ignore wildcard" "interface listen 127.0.0.1" "interface listen ::1" "interface listen 192.0.2.1" \
    "restrict default kod nomodify noquery limited" "restrict 127.0.0.1" "restrict ::1" "driftfile $work/ntp.drift" > "$work/ntp.conf"
"$work/ntpsec/usr/sbin/ntpd" -n -c "$work/ntp.conf" -l "$work/ntpd.log" </dev/null >/dev/null 2>&1 &
ntpq=(timeout 20 "$work/ntpsec/usr/bin/ntpq")
wait_for '^\*' "${ntpq[@]}" -n -w -c peers || { cat "$work/ntpd.log" >&2; exit 1; }
"${ntpq[@]}" -n -w -c peers > "$out/ntpq.peers"
"${ntpq[@]}" -n -c rv > "$out/ntpq.rv"

# systemd-timesyncd from its package, on a system bus of its own.
dpkg-deb -x "$(ls $debs/systemd-timesyncd_*.deb)" "$work/timesyncd"
cp "$work/timesyncd/usr/share/dbus-1/system.d/org.freedesktop.timesync1.conf" /usr/share/dbus-1/system.d/
systemd-sysusers "$work/timesyncd/usr/lib/sysusers.d/"*.conf
mkdir -p /run/dbus /var/lib/systemd/timesync /etc/systemd
chown systemd-timesync: /var/lib/systemd/timesync
printf '[Time]\nNTP=127.0.0.2\nFallbackNTP=127.0.0.5\n' > /etc/systemd/timesyncd.conf
dbus-daemon --system --fork
# As its own user from the start: root's way keeps CAP_SYS_TIME, which is not there.
setpriv --reuid systemd-timesync --regid systemd-timesync --clear-groups \
    "$work/timesyncd/usr/lib/systemd/systemd-timesyncd" >"$work/timesyncd.log" 2>&1 &
getall=(busctl --json=short call org.freedesktop.timesync1 /org/freedesktop/timesync1 org.freedesktop.DBus.Properties GetAll s org.freedesktop.timesync1.Manager)
wait_for '"NTPMessage":\{"type":"\(uuuuittayttttbtt\)","data":\[[0-9]+,4,4,[1-9]' "${getall[@]}" || { cat "$work/timesyncd.log" >&2; exit 1; }
"${getall[@]}" > "$out/timesyncd.json"
ls -l "$out"
