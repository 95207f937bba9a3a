// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// libFuzzer target for one parser of a service tool's output, chosen at build
// time with ZEL_FUZZ_SOURCES (0 chronyc, 1 ntpq, 2 ntpctl, 3 ntpdig). Beyond
// not crashing, every number must be in its range or marked unknown.

#include "syncstate/sourceparsers.h"

#include <cstdio>
#include <cstdlib>

#ifndef ZEL_FUZZ_SOURCES
#error "ZEL_FUZZ_SOURCES must be set"
#endif

static void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

static bool unknownOrFinite(double value)
{
    return std::isnan(value) || std::isfinite(value);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
#if ZEL_FUZZ_SOURCES == 3
    const ServerCheck result = SourceParsers::ntpdig(bytes);
    check(result.reachable == (result.stratum >= 1 && result.stratum < 16), "ntpdig stratum");
    check(!result.reachable || (unknownOrFinite(result.offset) && result.error.isEmpty()), "ntpdig offset");
#else
    const SourcesReport report = ZEL_FUZZ_SOURCES == 0 ? SourceParsers::chrony(bytes)
        : ZEL_FUZZ_SOURCES == 1                        ? SourceParsers::ntpq(bytes)
                                                       : SourceParsers::ntpctl(bytes);
    check(report.rows.isEmpty() || report.error.isEmpty(), "rows and an error");
    for (const SourceRow &row : report.rows) {
        check(row.reach >= -1 && row.reach <= 0377, "reach");
        check(row.stratum >= -1 && row.stratum <= 16, "stratum");
        check(!row.address.isEmpty() || !row.name.isEmpty(), "a source without address and name");
        check(unknownOrFinite(row.offset) && unknownOrFinite(row.delay) && unknownOrFinite(row.jitter), "offsets");
        check(std::isfinite(row.poll) && std::isfinite(row.sinceLast), "times");
    }
#endif
    return 0;
}
