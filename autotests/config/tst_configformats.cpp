// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The configuration models: what is not edited survives byte for byte, and
// an edit touches only the lines it must.

#include "confighelpers.h"

#include "configformat.h"
#include "directiveconfig.h"
#include "timesyncdconfig.h"

#include <QTest>

#include <functional>

using Config::DirectiveEntry;
using Config::DurationValue;
using Config::NoValue;
using Config::ServerEntry;

using DirectiveEdit = std::function<void(DirectiveSettings &)>;
Q_DECLARE_METATYPE(DirectiveEdit)

class ConfigFormatsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stockRoundTrip_data();
    void stockRoundTrip();
    void oddBytesRoundTrip_data();
    void oddBytesRoundTrip();
    void timesyncdEdits();
    void timesyncdDurations();
    void stockEdits_data();
    void stockEdits();
    void directiveLines_data();
    void directiveLines();
    void chronyKeywords();
    void serverListPlacement();
    void otherDirectives();
    void malformedServerNamesRefused();
};

// A literal with its NUL bytes.
template<int N>
static QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

static DirectiveSettings chronySettings(const QByteArray &bytes)
{
    return DirectiveConfig::parse(DirectiveFormat::Chrony, bytes).settings();
}

void ConfigFormatsTest::stockRoundTrip_data()
{
    QTest::addColumn<int>("service");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("servers");
    const QStringList debianPool{QStringLiteral("0.debian.pool.ntp.org"),
                                 QStringLiteral("1.debian.pool.ntp.org"),
                                 QStringLiteral("2.debian.pool.ntp.org"),
                                 QStringLiteral("3.debian.pool.ntp.org")};
    QTest::newRow("timesyncd") << int(TimesyncdPackage) << "systemd-timesyncd"
                               << "/etc/systemd/timesyncd.conf" << QStringList();
    QTest::newRow("chrony") << int(ChronyPackage) << "chrony"
                            << "/etc/chrony/chrony.conf" << QStringList{QStringLiteral("2.debian.pool.ntp.org")};
    QTest::newRow("ntpsec") << int(NtpsecPackage) << "ntpsec"
                            << "/etc/ntpsec/ntp.conf" << debianPool;
    QTest::newRow("openntpd") << int(OpenntpdPackage) << "openntpd"
                              << "/etc/openntpd/ntpd.conf" << debianPool;
}

void ConfigFormatsTest::stockRoundTrip()
{
    QFETCH(int, service);
    QFETCH(QString, package);
    QFETCH(QString, path);
    QFETCH(QStringList, servers);
    const QByteArray stock = ConfigTest::stockFile(package, path);
    QVERIFY(!stock.isEmpty());

    if (service == TimesyncdPackage) {
        const TimesyncdConfig config = TimesyncdConfig::parse(stock);
        QCOMPARE(config.render(config.settings()), stock);
        QVERIFY(!config.settings().rootDistanceMaxSec.present);
    } else {
        const auto format = service == ChronyPackage ? DirectiveFormat::Chrony : service == NtpsecPackage ? DirectiveFormat::Ntpsec : DirectiveFormat::Openntpd;
        const DirectiveConfig config = DirectiveConfig::parse(format, stock);
        QCOMPARE(config.render(config.settings()), stock);
    }
    QCOMPARE(ConfigFormat::serverNames(PackageIndex(service), stock), servers);
    QCOMPARE(ConfigFormat::problems(PackageIndex(service), stock), QStringList());
}

void ConfigFormatsTest::oddBytesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no final newline") << QByteArray("server a.example iburst");
    QTest::newRow("crlf") << QByteArray("# c\r\npool b.example\r\n\r\n");
    QTest::newRow("lone cr") << QByteArray("server a\rb\n");
    QTest::newRow("latin1 and tabs") << QByteArray("#\xe9t\xe9\n\tserver\t\ta.example  \t# x\n");
    QTest::newRow("utf8") << QByteArray("# can\xe2\x80\x99t\nrtcsync\n");
    QTest::newRow("blank lines only") << QByteArray("\n\n\n");
    QTest::newRow("unterminated quote") << QByteArray("server \"a.example\nconstraint from \"x\n");
    QTest::newRow("keyword alone") << QByteArray("server\npool\nmakestep\n[Time]\nNTP\n=\n");
}

void ConfigFormatsTest::oddBytesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    const TimesyncdConfig timesyncd = TimesyncdConfig::parse(bytes);
    QCOMPARE(timesyncd.render(timesyncd.settings()), bytes);
    for (auto format : {DirectiveFormat::Chrony, DirectiveFormat::Ntpsec, DirectiveFormat::Openntpd}) {
        const DirectiveConfig config = DirectiveConfig::parse(format, bytes);
        QCOMPARE(config.render(config.settings()), bytes);
    }
}

void ConfigFormatsTest::timesyncdEdits()
{
    const QByteArray stock = ConfigTest::stockFile(QStringLiteral("systemd-timesyncd"), QStringLiteral("/etc/systemd/timesyncd.conf"));
    const TimesyncdConfig config = TimesyncdConfig::parse(stock);

    // A value the stock file only mentions in a comment goes right below it.
    TimesyncdSettings s = config.settings();
    s.ntp = QStringList{QStringLiteral("ntp1.example.org"), QStringLiteral("192.0.2.1")};
    QByteArray out = config.render(s);
    ConfigTest::Diff d = ConfigTest::diff(stock, out);
    QCOMPARE(d.added, QList<QByteArray>{"NTP=ntp1.example.org 192.0.2.1\n"});
    QVERIFY(out.contains("#NTP=\nNTP=ntp1.example.org 192.0.2.1\n#FallbackNTP="));

    // Read back and changed again: that one line changes.
    const TimesyncdConfig edited = TimesyncdConfig::parse(out);
    TimesyncdSettings s2 = edited.settings();
    QCOMPARE(s2.ntp, s.ntp);
    s2.ntp[1] = QStringLiteral("2001:db8::1");
    d = ConfigTest::diff(out, edited.render(s2));
    QCOMPARE(d.removed, QList<QByteArray>{"NTP=ntp1.example.org 192.0.2.1\n"});
    QCOMPARE(d.added, QList<QByteArray>{"NTP=ntp1.example.org 2001:db8::1\n"});

    // Emptying the list drops the line and gives the stock file back.
    s2.ntp.clear();
    QCOMPARE(edited.render(s2), stock);

    // Spacing around '=' and after the value survives an edit of the value.
    const QByteArray spaced("[Time]\n  NTP = a.example b.example   \nNTP=c.example\n");
    const TimesyncdConfig sp = TimesyncdConfig::parse(spaced);
    QCOMPARE(sp.settings().ntp, (QStringList{QStringLiteral("a.example"), QStringLiteral("b.example"), QStringLiteral("c.example")}));
    TimesyncdSettings s3 = sp.settings();
    s3.ntp.removeFirst();
    // Repeated list assignments collapse into the last one.
    QCOMPARE(sp.render(s3), QByteArray("[Time]\nNTP=b.example c.example\n"));

    // An empty assignment empties the list, as systemd reads it.
    QCOMPARE(TimesyncdConfig::parse("[Time]\nNTP=a.example\nNTP=\nNTP=b.example\n").settings().ntp, QStringList{QStringLiteral("b.example")});
    // Keys outside [Time] are not timesyncd's.
    QVERIFY(TimesyncdConfig::parse("[Other]\nNTP=a.example\n").settings().ntp.isEmpty());

    // A file without a [Time] section gets one.
    const TimesyncdConfig bare = TimesyncdConfig::parse("# nothing\n");
    TimesyncdSettings s4 = bare.settings();
    s4.fallbackNtp = QStringList{QStringLiteral("a.example")};
    s4.pollIntervalMinSec = DurationValue::fromSeconds(64);
    QCOMPARE(bare.render(s4), QByteArray("# nothing\n[Time]\nFallbackNTP=a.example\nPollIntervalMinSec=64\n"));
}

void ConfigFormatsTest::timesyncdDurations()
{
    // Whole seconds only (-1: not understood).
    const QList<QPair<const char *, qint64>> durations{{"32", 32}, {" 2min 8s ", 128}, {"1h", 3600}, {"1500ms", -1}, {"soon", -1}, {"5 parsecs", -1}, {"", -1}};
    for (const auto &duration : durations) {
        qint64 seconds = -1;
        const bool understood = TimesyncdConfig::parseDuration(QString::fromLatin1(duration.first), &seconds);
        QCOMPARE(understood ? seconds : -1, duration.second);
    }

    const QByteArray text("[Time]\nPollIntervalMaxSec=1min\nRootDistanceMaxSec=500ms\n#PollIntervalMinSec=32\n");
    const TimesyncdConfig config = TimesyncdConfig::parse(text);
    const TimesyncdSettings &s = config.settings();
    QVERIFY(s.pollIntervalMaxSec.present && s.pollIntervalMaxSec.understood);
    QCOMPARE(s.pollIntervalMaxSec.seconds, 60);
    // A value the page cannot show is kept as written.
    QVERIFY(s.rootDistanceMaxSec.present && !s.rootDistanceMaxSec.understood);
    QCOMPARE(s.rootDistanceMaxSec.raw, QStringLiteral("500ms"));
    QVERIFY(!s.pollIntervalMinSec.present);

    TimesyncdSettings wanted = s;
    wanted.pollIntervalMaxSec = DurationValue::fromSeconds(4096);
    wanted.pollIntervalMinSec = DurationValue::fromSeconds(16);
    wanted.rootDistanceMaxSec = DurationValue();
    QCOMPARE(config.render(wanted), QByteArray("[Time]\nPollIntervalMaxSec=4096\n#PollIntervalMinSec=32\nPollIntervalMinSec=16\n"));
}

void ConfigFormatsTest::stockEdits_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("path");
    QTest::addColumn<DirectiveEdit>("edit");
    QTest::addColumn<QList<QByteArray>>("removed");
    QTest::addColumn<QList<QByteArray>>("added");
    const QString chrony = QStringLiteral("/etc/chrony/chrony.conf");
    QTest::newRow("chrony iburst off") << int(DirectiveFormat::Chrony) << "chrony" << chrony << DirectiveEdit([](DirectiveSettings &w) {
        w.servers[0].iburst = false;
    }) << QList<QByteArray>{"pool 2.debian.pool.ntp.org iburst\n"}
                                       << QList<QByteArray>{"pool 2.debian.pool.ntp.org\n"};
    QTest::newRow("chrony makestep") << int(DirectiveFormat::Chrony) << "chrony" << chrony << DirectiveEdit([](DirectiveSettings &w) {
        w.makestepThreshold = 0.5;
        w.makestepLimit = -1;
    }) << QList<QByteArray>{"makestep 1 3\n"}
                                     << QList<QByteArray>{"makestep 0.5 -1\n"};
    QTest::newRow("chrony rtcsync and makestep off") << int(DirectiveFormat::Chrony) << "chrony" << chrony << DirectiveEdit([](DirectiveSettings &w) {
        w.rtcsync = false;
        w.makestep = false;
    }) << QList<QByteArray>{"rtcsync\n", "makestep 1 3\n"}
                                                     << QList<QByteArray>{};
    // others[6] is logdir, others[7] maxupdateskew: the stock file's order.
    QTest::newRow("chrony other directives") << int(DirectiveFormat::Chrony) << "chrony" << chrony << DirectiveEdit([](DirectiveSettings &w) {
        w.others[7].value = QStringLiteral("50.0");
        w.others.removeAt(6);
        w.others.append({QStringLiteral("log"), QStringLiteral("tracking"), -1});
    }) << QList<QByteArray>{"logdir /var/log/chrony\n", "maxupdateskew 100.0\n"}
                                             << QList<QByteArray>{"maxupdateskew 50.0\n", "log tracking\n"};
    // "nts" in a commented-out server line and "nts enable" are not servers.
    QTest::newRow("ntpsec server") << int(DirectiveFormat::Ntpsec) << "ntpsec"
                                   << "/etc/ntpsec/ntp.conf" << DirectiveEdit([](DirectiveSettings &w) {
                                          QCOMPARE(w.servers.size(), 4);
                                          w.servers[1].host = QStringLiteral("ntp.example.org");
                                          w.servers[1].prefer = true;
                                      })
                                   << QList<QByteArray>{"pool 1.debian.pool.ntp.org iburst\n"} << QList<QByteArray>{"pool ntp.example.org iburst prefer\n"};
    QTest::newRow("openntpd servers") << int(DirectiveFormat::Openntpd) << "openntpd"
                                      << "/etc/openntpd/ntpd.conf" << DirectiveEdit([](DirectiveSettings &w) {
                                             QCOMPARE(w.servers.first().directive, QStringLiteral("servers"));
                                             w.servers.removeAt(2);
                                             w.servers[0].weight = 5;
                                             w.servers[0].trusted = true;
                                         })
                                      << QList<QByteArray>{"servers 0.debian.pool.ntp.org\n", "servers 2.debian.pool.ntp.org\n"}
                                      << QList<QByteArray>{"servers 0.debian.pool.ntp.org weight 5 trusted\n"};
}

void ConfigFormatsTest::stockEdits()
{
    QFETCH(int, format);
    QFETCH(QString, package);
    QFETCH(QString, path);
    QFETCH(DirectiveEdit, edit);
    const QByteArray stock = ConfigTest::stockFile(package, path);
    const DirectiveConfig config = DirectiveConfig::parse(DirectiveFormat(format), stock);
    DirectiveSettings wanted = config.settings();
    edit(wanted);
    const ConfigTest::Diff d = ConfigTest::diff(stock, config.render(wanted));
    QTEST(d.removed, "removed");
    QTEST(d.added, "added");
}

void ConfigFormatsTest::directiveLines_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<DirectiveEdit>("edit");
    QTest::addColumn<QByteArray>("expected");
    // Options the page does not know stay where they are.
    QTest::newRow("chrony unknown options") << int(DirectiveFormat::Chrony) << QByteArray("server  a.example   key 5 minpoll 4 iburst xleave maxpoll 9\n")
                                            << DirectiveEdit([](DirectiveSettings &w) {
                                                   QCOMPARE(w.servers[0].maxpoll, 9);
                                                   w.servers[0].minpoll = 6;
                                                   w.servers[0].maxpoll = NoValue;
                                                   w.servers[0].prefer = true;
                                                   w.servers[0].nts = true;
                                                   w.servers[0].host = QStringLiteral("b.example");
                                               })
                                            << QByteArray("server  b.example   key 5 minpoll 6 iburst xleave prefer nts\n");
    QTest::newRow("chrony server to pool") << int(DirectiveFormat::Chrony) << QByteArray("server  a.example   key 5 minpoll 4 iburst xleave\n")
                                           << DirectiveEdit([](DirectiveSettings &w) {
                                                  w.servers[0].iburst = false;
                                                  w.servers[0].directive = QStringLiteral("pool");
                                              })
                                           << QByteArray("pool  a.example   key 5 minpoll 4 xleave\n");
    // Switched back on, each goes below its commented-out form if there is one.
    QTest::newRow("chrony makestep and rtcsync on") << int(DirectiveFormat::Chrony) << QByteArray("#makestep 1 3\nlogdir /var/log/chrony\n")
                                                    << DirectiveEdit([](DirectiveSettings &w) {
                                                           w.makestep = true;
                                                           w.makestepThreshold = 10;
                                                           w.makestepLimit = 2;
                                                           w.rtcsync = true;
                                                       })
                                                    << QByteArray("#makestep 1 3\nmakestep 10 2\nlogdir /var/log/chrony\nrtcsync\n");
    // An address family flag before the address, an inline comment.
    QTest::newRow("ntpsec family flag") << int(DirectiveFormat::Ntpsec) << QByteArray("server -4 a.example iburst # lab\n")
                                        << DirectiveEdit([](DirectiveSettings &w) {
                                               QCOMPARE(w.servers[0].host, QStringLiteral("a.example"));
                                               w.servers[0].iburst = false;
                                               w.servers[0].minpoll = 5;
                                           })
                                        << QByteArray("server -4 a.example minpoll 5 # lab\n");
    // Quoted addresses keep their quotes; constraints are another directive.
    QTest::newRow("openntpd quotes") << int(DirectiveFormat::Openntpd)
                                     << QByteArray("server \"a.example\" weight 2\nconstraints from \"https://www.example.org\"\n")
                                     << DirectiveEdit([](DirectiveSettings &w) {
                                            QCOMPARE(w.servers[0].weight, 2);
                                            QCOMPARE(w.others.size(), 1);
                                            QCOMPARE(w.others.first().value, QStringLiteral("from \"https://www.example.org\""));
                                            w.servers[0].host = QStringLiteral("b.example");
                                            w.servers[0].weight = NoValue;
                                        })
                                     << QByteArray("server \"b.example\"\nconstraints from \"https://www.example.org\"\n");
    // Lines the user did not change keep NUL bytes and bytes that are not
    // UTF-8. Found by the fuzz targets.
    QTest::newRow("odd bytes") << int(DirectiveFormat::Ntpsec) << raw("logdir /x\nserver\0x a.example\n\xff\xfe 1\n")
                               << DirectiveEdit([](DirectiveSettings &w) {
                                      QVERIFY(w.servers.isEmpty());
                                      QCOMPARE(w.others.size(), 3);
                                      w.others.removeFirst();
                                  })
                               << raw("server\0x a.example\n\xff\xfe 1\n");
    QTest::newRow("crlf kept") << int(DirectiveFormat::Chrony) << QByteArray("# c\r\nserver a.example\r\nrtcsync") << DirectiveEdit([](DirectiveSettings &w) {
        ServerEntry e;
        e.directive = QStringLiteral("server");
        e.host = QStringLiteral("b.example");
        w.servers.append(e);
        w.makestep = true;
    }) << QByteArray("# c\r\nserver a.example\r\nserver b.example\r\nrtcsync\r\nmakestep 1 3\r\n");
}

void ConfigFormatsTest::directiveLines()
{
    QFETCH(int, format);
    QFETCH(QByteArray, text);
    QFETCH(DirectiveEdit, edit);
    const DirectiveConfig config = DirectiveConfig::parse(DirectiveFormat(format), text);
    DirectiveSettings wanted = config.settings();
    edit(wanted);
    QTEST(config.render(wanted), "expected");
}

void ConfigFormatsTest::chronyKeywords()
{
    // Another option's argument is never taken for a flag.
    QVERIFY(!chronySettings("server a.example certset iburst\n").servers.first().iburst);
    // chrony reads keywords without regard to case.
    const DirectiveSettings upper = chronySettings("SERVER a.example\nRtcSync\n");
    QCOMPARE(upper.servers.size(), 1);
    QVERIFY(upper.rtcsync);
}

void ConfigFormatsTest::serverListPlacement()
{
    const QByteArray text(
        "# head\n"
        "server a.example iburst\n"
        "# between\n"
        "server b.example\n"
        "server c.example\n"
        "driftfile /var/lib/chrony/chrony.drift\n");
    const DirectiveConfig config = DirectiveConfig::parse(DirectiveFormat::Chrony, text);
    const DirectiveSettings &s = config.settings();
    QCOMPARE(DirectiveConfig::serverNames(s), (QStringList{QStringLiteral("a.example"), QStringLiteral("b.example"), QStringLiteral("c.example")}));

    // Removing a server removes its line only.
    DirectiveSettings w = s;
    w.servers.removeAt(1);
    ConfigTest::Diff d = ConfigTest::diff(text, config.render(w));
    QCOMPARE(d.removed, QList<QByteArray>{"server b.example\n"});
    QVERIFY(d.added.isEmpty());

    // A new server goes after the last server line.
    w = s;
    ServerEntry added;
    added.directive = QStringLiteral("pool");
    added.host = QStringLiteral("pool.example.net");
    added.iburst = true;
    added.maxpoll = 10;
    w.servers.append(added);
    QVERIFY(config.render(w).contains("server c.example\npool pool.example.net iburst maxpoll 10\ndriftfile"));

    // Moving the last server up moves one line.
    w = s;
    w.servers.move(2, 0);
    const QByteArray moved = config.render(w);
    QVERIFY(moved.startsWith("# head\nserver c.example\nserver a.example iburst\n# between\nserver b.example\ndriftfile"));
    d = ConfigTest::diff(text, moved);
    QCOMPARE(d.removed.size(), 1);
    QCOMPARE(d.added.size(), 1);
    QCOMPARE(DirectiveConfig::serverNames(chronySettings(moved)), DirectiveConfig::serverNames(w));

    // All replaced: the new list takes the place of the last old line.
    w = s;
    w.servers = {added};
    QCOMPARE(config.render(w), QByteArray("# head\n# between\npool pool.example.net iburst maxpoll 10\ndriftfile /var/lib/chrony/chrony.drift\n"));

    // No server line at all: new ones go at the end.
    const DirectiveConfig none = DirectiveConfig::parse(DirectiveFormat::Chrony, "driftfile x");
    w = none.settings();
    w.servers = {added};
    QCOMPARE(none.render(w), QByteArray("driftfile x\npool pool.example.net iburst maxpoll 10\n"));
}

void ConfigFormatsTest::otherDirectives()
{
    const QByteArray tstock = ConfigTest::stockFile(QStringLiteral("systemd-timesyncd"), QStringLiteral("/etc/systemd/timesyncd.conf"));
    const TimesyncdConfig timesyncd = TimesyncdConfig::parse(tstock);
    QVERIFY(timesyncd.settings().others.isEmpty());
    TimesyncdSettings ts = timesyncd.settings();
    ts.others.append({QStringLiteral("SaveIntervalSec"), QStringLiteral("120"), -1});
    const ConfigTest::Diff d = ConfigTest::diff(tstock, timesyncd.render(ts));
    QVERIFY(d.removed.isEmpty());
    QCOMPARE(d.added, QList<QByteArray>{"SaveIntervalSec=120\n"});
    const TimesyncdConfig again = TimesyncdConfig::parse(timesyncd.render(ts));
    QCOMPARE(again.settings().others.size(), 1);
    ts = again.settings();
    ts.others[0].value = QStringLiteral("30");
    QVERIFY(again.render(ts).endsWith("#SaveIntervalSec=60\nSaveIntervalSec=30\n"));

    // Lines not edited keep NUL bytes and bytes that are not UTF-8.
    const QByteArray oddTime = raw("[Time]\nA=1\nNTP\0=x\n\xff=\xfe\n");
    const TimesyncdConfig oddTimesyncd = TimesyncdConfig::parse(oddTime);
    QVERIFY(oddTimesyncd.settings().ntp.isEmpty());
    ts = oddTimesyncd.settings();
    ts.others.removeFirst();
    QCOMPARE(oddTimesyncd.render(ts), raw("[Time]\nNTP\0=x\n\xff=\xfe\n"));

    // What the settings dialog may add: no second directive smuggled in.
    QVERIFY(!DirectiveConfig::isValidKey(QStringLiteral("two words")));
    QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Ntpsec, QStringLiteral("a # b")));
    QVERIFY(DirectiveConfig::isValidValue(DirectiveFormat::Chrony, QStringLiteral("a # b")));
    QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Openntpd, QStringLiteral("from \"x")));
    QVERIFY(!DirectiveConfig::isValidValue(DirectiveFormat::Chrony, QStringLiteral("a\nserver evil")));
    QVERIFY(!TimesyncdConfig::isValidValue(QStringLiteral("30\\")));
}

void ConfigFormatsTest::malformedServerNamesRefused()
{
    const struct {
        PackageIndex service;
        QByteArray text;
    } cases[] = {
        {TimesyncdPackage, "[Time]\nNTP=good.example bad_name.example\n"},
        {TimesyncdPackage, "[Time]\nFallbackNTP=-oProxyCommand=x\n"},
        {ChronyPackage, "server 999.1.1.1 iburst\n"},
        {ChronyPackage, "pool\n"},
        {NtpsecPackage, "server -4\n"},
        {NtpsecPackage, "pool a..example\n"},
        {OpenntpdPackage, "servers \"a example\"\n"},
        {ChronyPackage, QByteArray("server a.example\n\0\n", 19)},
    };
    for (const auto &c : cases) {
        QVERIFY2(!ConfigFormat::problems(c.service, c.text).isEmpty(), c.text.constData());
    }
    QVERIFY(ConfigFormat::problems(ChronyPackage, "server 192.0.2.1\npool 2001:db8::1\nserver ntp.example.org.\n").isEmpty());
}

QTEST_GUILESS_MAIN(ConfigFormatsTest)

#include "tst_configformats.moc"
