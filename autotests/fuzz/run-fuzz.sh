#!/bin/bash
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
#
# Builds the configuration and package list parsers' libFuzzer targets with
# clang++ and runs each for a bounded time, the stock Debian files as seeds.
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
    [deb822]=none
)

status=0
for format in timesyncd chrony ntpsec openntpd deb822; do
    corpus=$build/corpus/$format
    seeds=$build/seeds/$format
    mkdir -p "$corpus" "$seeds" "$build/artifacts"
    if [ -n "${ZEL_STOCK_DIR:-}" ] && [ -f "$ZEL_STOCK_DIR/${stock[$format]}" ]; then
        cp "$ZEL_STOCK_DIR/${stock[$format]}" "$seeds/stock"
    fi
    cp "$here"/seeds/"$format".* "$seeds/" 2>/dev/null || true
    echo "fuzzing the $format parser for ${seconds}s"
    # ASan's leak check would report Qt's process-wide caches.
    if ! ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_$format" \
            -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
            -dict="$here/config.dict" -artifact_prefix="$build/artifacts/$format-" \
            -print_final_stats=1 "$corpus" "$seeds" >"$build/$format.log" 2>&1; then
        echo "the $format parser failed; input saved under $build/artifacts:" >&2
        tail -40 "$build/$format.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "$build/$format.log" || true
    fi
done

# The parsers of the services' tools' output, from their seeds alone.
for tool in chronyc ntpq ntpctl ntpdig; do
    corpus=$build/corpus/$tool
    seeds=$build/seeds/$tool
    mkdir -p "$corpus" "$seeds" "$build/artifacts"
    cp "$here/seeds/$tool.1" "$seeds/"
    echo "fuzzing the $tool output parser for ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_$tool" \
            -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
            -artifact_prefix="$build/artifacts/$tool-" -print_final_stats=1 \
            "$corpus" "$seeds" >"$build/$tool.log" 2>&1; then
        echo "the $tool output parser failed; input saved under $build/artifacts:" >&2
        tail -40 "$build/$tool.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "$build/$tool.log" || true
    fi
done
exit $status
