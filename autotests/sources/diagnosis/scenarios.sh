#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Produces, inside the sandbox machine, each state of chrony the diagnosis
# tells apart, and keeps what chronyc said in each as a test fixture:
#
#   bash sandbox/run.sh --build-dir build -- bash autotests/sources/diagnosis/scenarios.sh OUT_DIR [SCENARIO...]
#
# For each scenario OUT_DIR/SCENARIO.sources holds `chronyc -c -n -m sources
# sourcestats` and OUT_DIR/SCENARIO.state `chronyc -c -n -m tracking
# selectdata activity authdata`, the two commands the Sources table runs. Two more
# chronyd servers on 127.0.0.2 and 127.0.0.3 (never touching the clock: the
# sandbox's chronyd is always -x) join the sandbox's own on 127.0.0.1; a far
# off source is one whose measurements chrony is told to shift (`offset`).
set -euo pipefail

[ $# -ge 1 ] && [ -n "${ZEL_SANDBOX:-}" ] || { echo "usage (inside the sandbox): $0 OUT_DIR [SCENARIO...]" >&2; exit 2; }
out=$(realpath -m "$1")
shift
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(synchronized stopped unreachable offline falseticker nomajority largeoffset nts ntsfailing)
mkdir -p "$out"
conf=$ZELADMINTIME_SYSROOT/etc/chrony/chrony.conf
stock=$(mktemp)
cp "$conf" "$stock"
manager=()
[ "${ZEL_SANDBOX_MODE:-}" = system ] || manager=(--user)

for n in 2 3; do
    dir=$ZEL_SANDBOX/ntp-server-$n
    mkdir -p "$dir"
    printf '%s\n' "local stratum 8" "allow 127.0.0.0/8" "bindaddress 127.0.0.$n" "port 123" "cmdport 0" \
        "bindcmdaddress $dir/chronyd.sock" "pidfile $dir/chronyd.pid" > "$dir/chrony.conf"
    chronyd -u root -f "$dir/chrony.conf" -l "$dir/chronyd.log" </dev/null
done

# The stock file with its one server replaced by the given lines.
configure() {
    { grep -v '^server 127.0.0.1 ' "$stock"; printf '%s\n' "$@"; } > "$conf"
    systemctl "${manager[@]}" restart chrony.service
}

# Waits until chronyc's selection (or other) data matches a pattern.
wait_state() {
    local i
    for ((i = 0; i < 120; i++)); do
        if chronyc -c -n "${2:-selectdata}" 2>/dev/null | grep -Eq "$1"; then
            return 0
        fi
        sleep 0.5
    done
    echo "no selection matching $1 within 60 s" >&2
    return 1
}

fast="iburst minpoll -2 maxpoll -2"
for scenario in "${scenarios[@]}"; do
    case $scenario in
    synchronized) configure "server 127.0.0.1 $fast"; wait_state '^\*' ;;
    stopped) systemctl "${manager[@]}" stop chrony.service ;;
    unreachable)
        # Nothing listens on 127.0.0.4; a name under .invalid never resolves.
        configure "server 127.0.0.4 $fast" "server time.example.invalid iburst"
        sleep 6 ;;
    offline) configure "server 127.0.0.1 $fast"; wait_state '^\*'; chronyc offline >/dev/null; sleep 2 ;;
    falseticker)
        configure "server 127.0.0.1 $fast" "server 127.0.0.2 $fast" "server 127.0.0.3 $fast offset 30"
        wait_state '^x,127\.0\.0\.3' ;;
    nomajority)
        configure "server 127.0.0.1 $fast" "server 127.0.0.2 $fast offset 30"
        wait_state '^x,' ;;
    largeoffset)
        # chronyd -x cannot step, so the clock it keeps stays an hour off.
        configure "server 127.0.0.1 $fast offset 3600"
        wait_state '^\*' ; sleep 2 ;;
    nts)
        # A key and cookies from the NTS server (ntsserver.sh).
        configure "server 127.0.0.1 $fast"
        bash "$(dirname "$0")/ntsserver.sh" start >/dev/null
        wait_state '^127\.0\.0\.5,NTS,[0-9]+,[0-9]+,[1-9][0-9]*,[0-9]+,0,0,[1-9]' authdata
        wait_state '^[*+],127\.0\.0\.5' ;;
    ntsfailing)
        # The server gone: the cookies run out, key exchanges fail.
        bash "$(dirname "$0")/ntsserver.sh" stop
        wait_state '^127\.0\.0\.5,NTS,[0-9]+,[0-9]+,[0-9]+,[0-9]+,[1-9][0-9]*,[01],0,' authdata ;;
    *) echo "unknown scenario $scenario" >&2; exit 2 ;;
    esac
    chronyc -c -n -m sources sourcestats > "$out/$scenario.sources" 2>&1 || true
    chronyc -c -n -m tracking selectdata activity authdata > "$out/$scenario.state" 2>&1 || true
    echo "$scenario:"; cat "$out/$scenario.state"
done
case " ${scenarios[*]} " in *" nts"*) bash "$(dirname "$0")/ntsserver.sh" forget ;; esac
cp "$stock" "$conf"
rm -f "$stock"
