#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# An NTS server for the sandbox machine: a second chronyd on 127.0.0.5
# serving NTP and NTS-KE (port 4460) with a certificate made here, and the
# sandbox's chronyd told to use it with that certificate as its only trust.
#
#   ntsserver.sh start   prints the certificate's path
#   ntsserver.sh stop    the server only: the client keeps trying
#   ntsserver.sh forget  the client's drop-ins too, and chrony restarted
set -euo pipefail

[ -n "${ZEL_SANDBOX:-}" ] || { echo "inside the sandbox only" >&2; exit 2; }
dir=$ZEL_SANDBOX/nts-server
root=$ZELADMINTIME_SYSROOT
manager=()
[ "${ZEL_SANDBOX_MODE:-}" = system ] || manager=(--user)

stop() {
    if [ -s "$dir/chronyd.pid" ]; then
        kill "$(cat "$dir/chronyd.pid")" 2>/dev/null || true
        for _ in $(seq 100); do
            [ -e "$dir/chronyd.pid" ] || break
            sleep 0.1
        done
    fi
}

case ${1:-} in
start)
    mkdir -p "$dir"
    chmod 0700 "$dir"
    if [ ! -s "$dir/cert.pem" ]; then
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
            -subj /CN=127.0.0.5 -addext subjectAltName=IP:127.0.0.5 \
            -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
    fi
    printf '%s\n' "local stratum 9" "allow 127.0.0.0/8" "bindaddress 127.0.0.5" "port 123" "ntsport 4460" \
        "ntsserverkey $dir/key.pem" "ntsservercert $dir/cert.pem" "ntsdumpdir $dir" \
        "cmdport 0" "bindcmdaddress $dir/chronyd.sock" "pidfile $dir/chronyd.pid" > "$dir/chrony.conf"
    stop
    chronyd -u root -f "$dir/chrony.conf" -l "$dir/chronyd.log" </dev/null
    if [ ! -s "$root/etc/chrony/sources.d/nts.sources" ]; then
        echo "ntstrustedcerts $dir/cert.pem" > "$root/etc/chrony/conf.d/nts.conf"
        echo "server 127.0.0.5 iburst nts minpoll -2 maxpoll -2" > "$root/etc/chrony/sources.d/nts.sources"
        # Its stored cookies would outlive the server's keys.
        rm -f "$root"/var/lib/chrony/*.nts
        systemctl "${manager[@]}" restart chrony.service
    fi
    echo "$dir/cert.pem" ;;
stop) stop ;;
forget)
    stop
    rm -f "$root/etc/chrony/conf.d/nts.conf" "$root/etc/chrony/sources.d/nts.sources" "$root"/var/lib/chrony/*.nts
    systemctl "${manager[@]}" restart chrony.service ;;
*) echo "usage: $0 start|stop|forget" >&2; exit 2 ;;
esac
