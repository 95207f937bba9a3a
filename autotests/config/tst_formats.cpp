// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The configuration models: what is not edited survives byte for byte, and
// an edit gives the file in golden/<case>.out (ZEL_UPDATE_GOLDEN=1 rewrites
// those from the code; review the change before committing it).

#include "confighelpers.h"

#include "catalog/servicecatalog.h"
#include "config/configformat.h"
#include "config/directiveconfig.h"
#include "config/timesyncdconfig.h"

#include <functional>

using Edit = std::function<void(TimesyncdSettings &, DirectiveSettings &)>;
Q_DECLARE_METATYPE(Edit)

static const QStringList formats{QStringLiteral("systemd-timesyncd"), QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")};

static QByteArray render(
    PackageIndex service,
    const QByteArray &bytes,
    const Edit &edit = [](TimesyncdSettings &, DirectiveSettings &) {})
{
    const TimesyncdConfig timesyncd = TimesyncdConfig::parse(bytes);
    const DirectiveConfig directives = DirectiveConfig::parse(DirectiveFormat(qMax(0, service - 1)), bytes);
    TimesyncdSettings t = timesyncd.settings();
    DirectiveSettings d = directives.settings();
    edit(t, d);
    return service == TimesyncdPackage ? timesyncd.render(t) : directives.render(d);
}

static Config::ServerEntry server(const char *directive, const char *host)
{
    Config::ServerEntry entry;
    entry.directive = QLatin1String(directive);
    entry.host = QLatin1String(host);
    return entry;
}

static void setOther(QVector<Config::DirectiveEntry> &others, const char *key, const char *value)
{
    for (int i = 0; i < others.size(); ++i) {
        if (others[i].key == QLatin1String(key)) {
            *value ? void(others[i].value = QLatin1String(value)) : others.removeAt(i);
            return;
        }
    }
    others.append({QLatin1String(key), QLatin1String(value), -1});
}

class ConfigFormatsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The stock Debian files and odd bytes come back unchanged from every format.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("service"); // -1: every format
        for (const QString &package : formats) {
            const ServiceDescription *service = ServiceCatalog::byPackageName(package);
            QTest::newRow(qPrintable(package)) << ConfigTest::stockFile(package, service->configPath) << int(service->index);
        }
        for (const char *odd : {"",
                                "server a.example iburst",
                                "# c\r\npool b.example\r\n\r\n",
                                "server a\rb\n",
                                "#\xe9t\xe9\n\tserver\t\ta  \t# x\n",
                                "server \"a.example\nconstraint from \"x\n",
                                "server\npool\nmakestep\n[Time]\nNTP\n=\n"}) {
            QTest::newRow(odd) << QByteArray(odd) << -1;
        }
    }
    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, service);
        for (int index = 0; index < formats.size(); ++index) {
            if (service < 0 || service == index) {
                QCOMPARE(render(PackageIndex(index), bytes), bytes);
            }
        }
        if (service >= 0) {
            QCOMPARE(ConfigFormat::problems(PackageIndex(service), bytes), QStringList());
            QVERIFY(!ConfigFormat::serverNames(PackageIndex(service), bytes).isEmpty() || service == TimesyncdPackage);
        }
    }

    // {case, format, input (golden/<name>.in, or "stock"), edit}
    void edits_data()
    {
        QTest::addColumn<int>("service");
        QTest::addColumn<QString>("input");
        QTest::addColumn<Edit>("edit");
        auto row = [](const char *name, PackageIndex service, const char *input, Edit edit) {
            QTest::newRow(name) << int(service) << QString::fromLatin1(input) << edit;
        };
        row("timesyncd-stock", TimesyncdPackage, "stock", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.ntp = QStringList{QStringLiteral("ntp1.example.org"), QStringLiteral("192.0.2.1")};
            t.pollIntervalMinSec = Config::DurationValue::fromSeconds(64);
            setOther(t.others, "SaveIntervalSec", "120");
        });
        row("timesyncd-lists", TimesyncdPackage, "timesyncd-lists", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.ntp.removeFirst(); // repeated assignments collapse into the last
            t.pollIntervalMaxSec = Config::DurationValue::fromSeconds(4096);
            t.pollIntervalMinSec = Config::DurationValue::fromSeconds(16);
            t.rootDistanceMaxSec = Config::DurationValue();
        });
        row("timesyncd-no-section", TimesyncdPackage, "timesyncd-no-section", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.fallbackNtp = QStringList{QStringLiteral("a.example")};
        });
        row("chrony-stock", ChronyPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].iburst = false;
            d.makestepThreshold = 0.5;
            d.makestepLimit = -1;
            setOther(d.others, "maxupdateskew", "50.0");
            setOther(d.others, "logdir", "");
            setOther(d.others, "log", "tracking");
        });
        row("chrony-stock-off", ChronyPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.rtcsync = false;
            d.makestep = false;
        });
        row("chrony-servers", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].host = QStringLiteral("d.example"); // options it does not know stay
            d.servers[0].minpoll = 6;
            d.servers[0].maxpoll = Config::NoValue;
            d.servers[0].prefer = d.servers[0].nts = true;
            d.servers[2].directive = QStringLiteral("pool");
            d.servers[2].iburst = false;
            d.servers.removeAt(1);
            d.servers.append(server("pool", "pool.example.net"));
            d.servers.last().maxpoll = 10;
            d.makestep = d.rtcsync = true; // below the commented-out form
            d.makestepThreshold = 10;
            d.makestepLimit = 2;
        });
        row("chrony-move", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.move(2, 0);
        });
        row("chrony-replace-all", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers = {server("pool", "pool.example.net")};
        });
        row("chrony-no-server", ChronyPackage, "chrony-no-server", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers = {server("server", "a.example")};
        });
        row("chrony-crlf", ChronyPackage, "chrony-crlf", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.append(server("server", "b.example"));
            d.makestep = true;
        });
        row("ntpsec-stock", NtpsecPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[1].host = QStringLiteral("ntp.example.org");
            d.servers[1].prefer = true;
        });
        row("ntpsec-family", NtpsecPackage, "ntpsec-family", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].iburst = false;
            d.servers[0].minpoll = 5;
        });
        row("openntpd-stock", OpenntpdPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.removeAt(2);
            d.servers[0].weight = 5;
            d.servers[0].trusted = true;
        });
        row("openntpd-quotes", OpenntpdPackage, "openntpd-quotes", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].host = QStringLiteral("b.example");
            d.servers[0].weight = Config::NoValue;
        });
    }
    void edits()
    {
        QFETCH(int, service);
        QFETCH(QString, input);
        QFETCH(Edit, edit);
        const QString golden = QStringLiteral(ZEL_GOLDEN_DIR "/") + QString::fromLatin1(QTest::currentDataTag());
        const QByteArray bytes = input == QLatin1String("stock")
            ? ConfigTest::stockFile(formats[service], ServiceCatalog::byIndex(PackageIndex(service)).configPath)
            : ConfigTest::readFile(QStringLiteral(ZEL_GOLDEN_DIR "/") + input + QStringLiteral(".in"));
        const QByteArray out = render(PackageIndex(service), bytes, edit);
        if (qEnvironmentVariableIsSet("ZEL_UPDATE_GOLDEN")) {
            ConfigTest::writeFile(golden + QStringLiteral(".out"), out);
        }
        QCOMPARE(out, ConfigTest::readFile(golden + QStringLiteral(".out")));
    }

    void readingAndRefusing()
    {
        // An empty assignment empties the list; keys outside [Time] are not timesyncd's.
        QCOMPARE(ConfigFormat::serverNames(TimesyncdPackage, "[Time]\nNTP=a.example\nNTP=\nNTP=b.example\n[Other]\nNTP=c.example\n"),
                 QStringList{QStringLiteral("b.example")});
        // chrony reads keywords without regard to case; another option's argument is no flag.
        QCOMPARE(ConfigFormat::serverNames(ChronyPackage, "SERVER a.example certset iburst\n"), QStringList{QStringLiteral("a.example")});
        QVERIFY(!DirectiveConfig::parse(DirectiveFormat::Chrony, "server a.example certset iburst\n").settings().servers[0].iburst);
        // Whole seconds only (-1: not understood).
        for (const auto &duration : QList<QPair<const char *, qint64>>{{"32", 32}, {" 2min 8s ", 128}, {"1h", 3600}, {"1500ms", -1}, {"soon", -1}, {"", -1}}) {
            qint64 seconds = -1;
            QCOMPARE(TimesyncdConfig::parseDuration(QString::fromLatin1(duration.first), &seconds) ? seconds : -1, duration.second);
        }
        const QList<QPair<PackageIndex, QByteArray>> malformed{{TimesyncdPackage, "[Time]\nNTP=good.example bad_name.example\n"},
                                                               {TimesyncdPackage, "[Time]\nFallbackNTP=-oProxyCommand=x\n"},
                                                               {ChronyPackage, "server 999.1.1.1 iburst\n"},
                                                               {ChronyPackage, "pool\n"},
                                                               {NtpsecPackage, "server -4\n"},
                                                               {NtpsecPackage, "pool a..example\n"},
                                                               {OpenntpdPackage, "servers \"a example\"\n"},
                                                               {ChronyPackage, QByteArray("server a.example\n\0\n", 19)}};
        for (const auto &c : malformed) {
            QVERIFY2(!ConfigFormat::problems(c.first, c.second).isEmpty(), c.second.constData());
        }
        QVERIFY(ConfigFormat::problems(ChronyPackage, "server 192.0.2.1\npool 2001:db8::1\nserver ntp.example.org.\n").isEmpty());
        // What the settings dialog may add: no second directive smuggled in.
        QVERIFY(!DirectiveConfig::isValidKey(QStringLiteral("two words")));
        QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Ntpsec, QStringLiteral("a # b")));
        QVERIFY(DirectiveConfig::isValidValue(DirectiveFormat::Chrony, QStringLiteral("a # b")));
        QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Openntpd, QStringLiteral("from \"x")));
        QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Chrony, QStringLiteral("a\nserver evil")));
        QVERIFY(!TimesyncdConfig::isValidValue(QStringLiteral("30\\")));
    }
};

QTEST_GUILESS_MAIN(ConfigFormatsTest)

#include "tst_formats.moc"
