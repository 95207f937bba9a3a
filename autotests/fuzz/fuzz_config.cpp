// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// libFuzzer target for one configuration parser, chosen at build time with
// ZEL_FUZZ_FORMAT (0 timesyncd, 1 chrony, 2 ntpsec, 3 openntpd), or for the
// package list parser (4). Beyond not crashing, every input must come back
// byte for byte, and edits must mean on a second reading what they meant on
// the first; a package list's paragraphs and names keep their promises.

#include "common/serveraddress.h"
#include "config/configformat.h"
#include "config/directiveconfig.h"
#include "config/timesyncdconfig.h"
#include "packages/deb822.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#ifndef ZEL_FUZZ_FORMAT
#error "ZEL_FUZZ_FORMAT must be set"
#endif

static void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "fuzz check failed: %s\n", what);
        abort();
    }
}

static bool allValid(const QStringList &names)
{
    for (const QString &name : names) {
        if (!ServerAddress::isValid(name)) {
            return false;
        }
    }
    return true;
}

static void fuzzTimesyncd(const QByteArray &bytes)
{
    const TimesyncdConfig config = TimesyncdConfig::parse(bytes);
    check(config.render(config.settings()) == bytes, "timesyncd round trip");
    ConfigFormat::problems(TimesyncdPackage, bytes);
    ConfigFormat::serverNames(TimesyncdPackage, bytes);

    TimesyncdSettings wanted = config.settings();
    wanted.ntp = QStringList{QStringLiteral("fuzz.example"), QStringLiteral("192.0.2.1")};
    wanted.fallbackNtp.clear();
    wanted.pollIntervalMinSec = Config::DurationValue::fromSeconds(64);
    if (!wanted.others.isEmpty()) {
        wanted.others.removeFirst();
    }
    const TimesyncdSettings again = TimesyncdConfig::parse(config.render(wanted)).settings();
    check(again.ntp == wanted.ntp, "timesyncd NTP= read back");
    check(again.fallbackNtp.isEmpty(), "timesyncd FallbackNTP= read back");
    check(again.pollIntervalMinSec.understood && again.pollIntervalMinSec.seconds == 64, "timesyncd PollIntervalMinSec= read back");
}

static void fuzzDirectives(DirectiveFormat format, PackageIndex service, const QByteArray &bytes)
{
    const DirectiveConfig config = DirectiveConfig::parse(format, bytes);
    check(config.render(config.settings()) == bytes, "round trip");
    ConfigFormat::problems(service, bytes);
    ConfigFormat::serverNames(service, bytes);

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
    const QByteArray rendered = config.render(wanted);
    const DirectiveSettings again = DirectiveConfig::parse(format, rendered).settings();
    // What the library would write must say what the page showed.
    if (allValid(DirectiveConfig::serverNames(wanted))) {
        check(DirectiveConfig::serverNames(again) == DirectiveConfig::serverNames(wanted), "server list read back");
    }
    if (format == DirectiveFormat::Chrony) {
        check(again.rtcsync == wanted.rtcsync, "rtcsync read back");
    }
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    switch (ZEL_FUZZ_FORMAT) {
    case 0:
        fuzzTimesyncd(bytes);
        break;
    case 1:
        fuzzDirectives(DirectiveFormat::Chrony, ChronyPackage, bytes);
        break;
    case 2:
        fuzzDirectives(DirectiveFormat::Ntpsec, NtpsecPackage, bytes);
        break;
    case 3:
        fuzzDirectives(DirectiveFormat::Openntpd, OpenntpdPackage, bytes);
        break;
    default:
        fuzzPackageList(bytes);
        break;
    }
    return 0;
}
