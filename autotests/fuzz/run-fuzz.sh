#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Builds the parsers' libFuzzer target with clang++ and runs it on each parser
# for a bounded time, the stock Debian files among the seeds.
#
#   run-fuzz.sh BUILD_DIR [SECONDS]
#
# ZEL_STOCK_DIR names the stock files' folder (sandbox/prepare.sh makes it);
# without it the targets start from the small seeds alone. A crash or a failed
# check leaves its input under BUILD_DIR/artifacts and fails the script.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [SECONDS]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "$1")
seconds=${2:-15}

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; exit 1; }
cmake --build "$build" --parallel 2 >"$build.build.log" 2>&1 ||
    { tail -50 "$build.build.log" >&2; exit 1; }

declare -A stock=(
    [timesyncd]=systemd-timesyncd/etc/systemd/timesyncd.conf
    [chrony]=chrony/etc/chrony/chrony.conf
    [ntpsec]=ntpsec/etc/ntpsec/ntp.conf
    [openntpd]=openntpd/etc/openntpd/ntpd.conf
)

# The configuration formats with the stock files and the dictionary; the
# package list and the tools' output from their seeds alone.
fuzz() {
    local parser=$1 corpus=$build/corpus/$1 seeds=$build/seeds/$1 dict=()
    # From the seeds each time: a corpus grown over many runs would take longer
    # to load than the run itself.
    rm -rf "$corpus"
    mkdir -p "$corpus" "$seeds" "$build/artifacts"
    if [ -n "${ZEL_STOCK_DIR:-}" ] && [ -f "$ZEL_STOCK_DIR/${stock[$parser]:-none}" ]; then
        cp "$ZEL_STOCK_DIR/${stock[$parser]}" "$seeds/stock"
    fi
    cp "$here"/seeds/"$parser".* "$seeds/" 2>/dev/null || true
    [ -z "${stock[$parser]:-}" ] || dict=(-dict="$here/config.dict")
    # ASan's leak check would report Qt's process-wide caches.
    if ! ZEL_FUZZ_PARSER=$parser ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_parsers" \
            -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 "${dict[@]}" \
            -artifact_prefix="$build/artifacts/$parser-" -print_final_stats=1 \
            "$corpus" "$seeds" >"$build/$parser.log" 2>&1; then
        { echo "the $parser parser failed; input saved under $build/artifacts:"; tail -40 "$build/$parser.log"; } >&2
        return 1
    fi
    echo "fuzzed the $parser parser for ${seconds}s: $(grep -E '^stat::number_of_executed_units|^Done' "$build/$parser.log" | tr '\n' ' ')"
}

# One parser on each processor at a time: each still gets its seconds to itself.
status=0
running=()
for parser in timesyncd chrony ntpsec openntpd deb822 chronyc ntpq ntpctl ntpdig chronystate ntpunits timesyncdlists; do
    if [ ${#running[@]} -ge "$(nproc)" ]; then
        wait "${running[0]}" || status=1
        running=("${running[@]:1}")
    fi
    fuzz "$parser" &
    running+=($!)
done
for pid in "${running[@]}"; do
    wait "$pid" || status=1
done
exit $status
