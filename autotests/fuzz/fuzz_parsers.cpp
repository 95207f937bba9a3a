// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// libFuzzer target for the parser ZEL_FUZZ_PARSER names: a configuration
// format, the package list, or a service tool's output. Beyond not crashing:
// a configuration comes back byte for byte and an edit means on a second
// reading what it meant on the first; what the others return keeps its promises.

#include "common/serveraddress.h"
#include "config/configformat.h"
#include "config/directiveconfig.h"
#include "config/timesyncdconfig.h"
#include "diagnosis/diagnosis.h"
#include "diagnosis/sourceorigins.h"
#include "packages/deb822.h"
#include "syncstate/sourceparsers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

static void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

static void fuzzTimesyncd(const QByteArray &bytes)
{
    const TimesyncdConfig config = TimesyncdConfig::parse(bytes);
    check(config.render(config.settings()) == bytes && (ConfigFormat::problems(TimesyncdPackage, bytes), true), "timesyncd round trip");
    TimesyncdSettings wanted = config.settings();
    wanted.ntp = QStringList{QStringLiteral("fuzz.example"), QStringLiteral("192.0.2.1")};
    wanted.fallbackNtp.clear();
    wanted.pollIntervalMinSec = Config::DurationValue::fromSeconds(64);
    if (!wanted.others.isEmpty()) {
        wanted.others.removeFirst();
    }
    const TimesyncdSettings again = TimesyncdConfig::parse(config.render(wanted)).settings();
    check(again.ntp == wanted.ntp && again.fallbackNtp.isEmpty(), "timesyncd server lists read back");
    check(again.pollIntervalMinSec.understood && again.pollIntervalMinSec.seconds == 64, "timesyncd PollIntervalMinSec= read back");
}

static void fuzzDirectives(DirectiveFormat format, const QByteArray &bytes)
{
    const DirectiveConfig config = DirectiveConfig::parse(format, bytes);
    check(config.render(config.settings()) == bytes && (ConfigFormat::problems(PackageIndex(int(format) + 1), bytes), true), "round trip");
    DirectiveSettings wanted = config.settings();
    std::reverse(wanted.servers.begin(), wanted.servers.end());
    if (!wanted.servers.isEmpty()) {
        wanted.servers.first().iburst = !wanted.servers.first().iburst;
        wanted.servers.first().minpoll = 5;
        wanted.servers.removeLast();
    }
    Config::ServerEntry added;
    added.directive = DirectiveConfig::serverOptions(format).directives.first();
    added.host = QStringLiteral("fuzz.example");
    added.prefer = true;
    wanted.servers.append(added);
    wanted.rtcsync = !wanted.rtcsync;
    if (!wanted.others.isEmpty()) {
        wanted.others.removeFirst();
    }
    const DirectiveSettings again = DirectiveConfig::parse(format, config.render(wanted)).settings();
    // What the library would write must say what the page showed.
    const QStringList names = DirectiveConfig::serverNames(wanted);
    if (std::all_of(names.cbegin(), names.cend(), &ServerAddress::isValid)) {
        check(DirectiveConfig::serverNames(again) == names, "server list read back");
    }
    check(format != DirectiveFormat::Chrony || again.rtcsync == wanted.rtcsync, "rtcsync read back");
}

static void fuzzPackageList(const QByteArray &bytes)
{
    const Deb822::Result result = Deb822::parse(bytes);
    check(Deb822::parse(bytes, {"package", "conflicts"}).errors.size() == result.errors.size(), "filtering changes no error");
    for (const Deb822::Paragraph &paragraph : result.paragraphs) {
        check(!paragraph.fields.isEmpty() && paragraph.firstLine >= 1, "paragraph");
        for (const Deb822::Field &field : paragraph.fields) {
            check(!field.name.isEmpty() && !field.name.contains(':'), "field name");
            for (const QByteArray &name : Deb822::relationNames(field.value)) {
                check(!name.isEmpty() && !name.contains(',') && !name.contains('|') && !name.contains(' '), "relation name");
            }
        }
    }
}

// chronyc's state and selection, read with its sources from the same bytes.
static void fuzzChronyState(const QByteArray &bytes)
{
    const ChronyState state = Diagnosis::parseChrony(bytes);
    check(!std::isinf(state.systemOffset) && !std::isinf(state.lastOffset) && state.stratum >= -1 && state.stratum <= 16, "tracking");
    check(state.online >= -1 && state.offline >= -1 && state.unresolved >= -1, "activity");
    const Finding finding = Diagnosis::diagnose(ChronyPackage, SourceParsers::chrony(bytes).rows, state, QDateTime::currentDateTimeUtc());
    check(finding.kind != Finding::Synchronized || !finding.server.isEmpty(), "synchronized with nobody");
    check(finding.kind != Finding::LargeOffset || finding.slewSeconds > Diagnosis::reasonableSlewSeconds, "large offset");
    for (const Finding::Evidence &evidence : finding.reasons) {
        check(!evidence.sources.isEmpty() && !evidence.sources.contains(QString()), "evidence without a source");
    }
    for (const ChronyState::Auth &auth : state.auth) {
        check(!auth.address.isEmpty() && auth.keyBits >= -1 && auth.cookies >= -1 && auth.attempts >= -1 && auth.lastExchange >= -1, "authdata");
    }
}

// ntp-units.d's unit names and timesyncd's server lists: words, never empty.
static void fuzzNames(bool units, const QByteArray &bytes)
{
    const QStringList names = units ? Diagnosis::parseNtpUnits(bytes) : SourceOrigins::timesyncdServers(bytes);
    for (const QString &name : names) {
        check(!name.isEmpty() && !name.contains(QLatin1Char(' ')) && (!units || (!name.contains(QLatin1Char('/')) && names.count(name) == 1)), "names");
    }
}

static void fuzzToolOutput(int tool, const QByteArray &bytes)
{
    if (tool == 9) {
        fuzzChronyState(bytes);
        return;
    }
    if (tool >= 10) {
        fuzzNames(tool == 10, bytes);
        return;
    }
    if (tool == 8) {
        const ServerCheck result = SourceParsers::ntpdig(bytes);
        check(result.reachable == (result.stratum >= 1 && result.stratum < 16), "ntpdig stratum");
        check(!result.reachable || (!std::isinf(result.offset) && result.error.isEmpty()), "ntpdig offset");
        return;
    }
    const SourcesReport report = tool == 5 ? SourceParsers::chrony(bytes) : tool == 6 ? SourceParsers::ntpq(bytes) : SourceParsers::ntpctl(bytes);
    check(report.rows.isEmpty() || report.error.isEmpty(), "rows and an error");
    for (const SourceRow &row : report.rows) {
        check(row.reach >= -1 && row.reach <= 0377 && row.stratum >= -1 && row.stratum <= 16, "reach and stratum");
        check(!row.address.isEmpty() || !row.name.isEmpty(), "a source without address and name");
        check(!std::isinf(row.offset) && !std::isinf(row.delay) && !std::isinf(row.jitter), "offsets");
        check(std::isfinite(row.poll) && std::isfinite(row.sinceLast), "times");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    static const int parser =
        QByteArrayList{"timesyncd", "chrony", "ntpsec", "openntpd", "deb822", "chronyc", "ntpq", "ntpctl", "ntpdig", "chronystate", "ntpunits", "timesyncdlists"}.indexOf(
            qgetenv("ZEL_FUZZ_PARSER"));
    check(parser >= 0, "ZEL_FUZZ_PARSER names no parser");
    if (parser == 0) {
        fuzzTimesyncd(bytes);
    } else if (parser <= 3) {
        fuzzDirectives(DirectiveFormat(parser - 1), bytes);
    } else if (parser == 4) {
        fuzzPackageList(bytes);
    } else {
        fuzzToolOutput(parser, bytes);
    }
    return 0;
}
