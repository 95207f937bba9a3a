// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The package list parser, the package conflict rule and the readers of the
// services' status tools, without a machine behind them.

#include "packages/deb822.h"
#include "packages/packagedatabase.h"
#include "syncstatus/syncparsers.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <sys/timex.h>

using SyncParsers::Answer;
Q_DECLARE_METATYPE(SyncParsers::Answer)

// Debian 12's stanzas of the four services, relation fields as shipped.
static const QByteArray debianPackages = R"(Package: chrony
Version: 4.3-2+deb12u3
Replaces: time-daemon
Provides: time-daemon
Depends: libc6 (>= 2.34), libcap2 (>= 1:2.10),
 adduser, iproute2
Conflicts: time-daemon
Breaks: network-manager (<< 1.20.0-1~)
Description: Versatile implementation of the Network Time Protocol
 It can synchronise the system clock with NTP servers.
 .
 More text.

Package: systemd-timesyncd
Version: 252.39-1~deb12u2
Replaces: systemd (<< 245.4-2~), time-daemon
Provides: time-daemon
Conflicts: time-daemon
Breaks: systemd (<< 245.4-2~)

Package: ntpsec
Version: 1.2.2+dfsg1-1+deb12u1
Replaces: ntp (<< 1:4.2.8p15+dfsg-2~), time-daemon
Provides: time-daemon
Conflicts: time-daemon
Breaks: ntp (<< 1:4.2.8p15+dfsg-2~)

Package: openntpd
Version: 1:6.2p3-4.2+b1
Replaces: ntp, time-daemon
Provides: time-daemon
Conflicts: ntp, time-daemon
Breaks: apparmor-profiles-extra (<< 1.8)
)";

static PackageRecord record(const char *name, QVector<QByteArray> provides, QVector<QByteArray> conflicts)
{
    return PackageRecord{name, false, provides, conflicts, {}};
}

class LogicParsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paragraphsAndContinuations()
    {
        const QByteArray text =
            "Package: a\r\nStatus: install ok installed\r\nDescription: first\r\n second line\r\n\t third\r\n"
            " \t \n\n\n" // blank-only lines end a paragraph too
            "package: b\nPROVIDES: x\n";
        const Deb822::Result result = Deb822::parse(text);
        QVERIFY(result.errors.isEmpty());
        QCOMPARE(result.paragraphs.size(), 2);
        const Deb822::Paragraph &a = result.paragraphs[0];
        QCOMPARE(a.firstLine, 1);
        QCOMPARE(a.value("package"), QByteArray("a"));
        QCOMPARE(a.value("description"), QByteArray("first\nsecond line\nthird"));
        QVERIFY(!a.has("provides"));
        QCOMPARE(result.paragraphs[1].firstLine, 9);
        QCOMPARE(result.paragraphs[1].value("Provides"), QByteArray("x"));
    }

    void keptFieldsOnly()
    {
        const Deb822::Result result = Deb822::parse(debianPackages, {"package", "conflicts"});
        QCOMPARE(result.paragraphs.size(), 4);
        for (const Deb822::Paragraph &p : result.paragraphs) {
            QCOMPARE(p.fields.size(), 2);
        }
        QCOMPARE(result.paragraphs[3].value("conflicts"), QByteArray("ntp, time-daemon"));
    }

    void corruptInput_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("errorLine");
        QTest::addColumn<QStringList>("packagesLeft");

        QTest::newRow("continuation first") << QByteArray(" orphan\nPackage: a\n\nPackage: b\n") << 1 << QStringList{QStringLiteral("b")};
        QTest::newRow("no colon") << QByteArray("Package: a\n\nPackage: b\ngarbage here\n\nPackage: c\n") << 4
                                  << QStringList{QStringLiteral("a"), QStringLiteral("c")};
        QTest::newRow("empty name") << QByteArray("Package: a\n: value\n") << 2 << QStringList{};
        QTest::newRow("space in name") << QByteArray("Package: a\nBad Name: x\n\nPackage: b\n") << 2 << QStringList{QStringLiteral("b")};
        QTest::newRow("twice") << QByteArray("Package: a\nStatus: x\nstatus: y\n") << 3 << QStringList{};
        QTest::newRow("nul byte") << QByteArray("Package: a\nStatus: in\0stall\n\nPackage: b\n", 40) << 2 << QStringList{QStringLiteral("b")};
        QTest::newRow("comment") << QByteArray("# a comment\nPackage: a\n\nPackage: b\n") << 1 << QStringList{QStringLiteral("b")};
    }

    void corruptInput()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, errorLine);
        QFETCH(QStringList, packagesLeft);
        const Deb822::Result result = Deb822::parse(text);
        QVERIFY(!result.errors.isEmpty());
        QCOMPARE(result.errors.first().line, errorLine);
        QVERIFY(!result.errors.first().message.isEmpty());
        QStringList left;
        for (const Deb822::Paragraph &p : result.paragraphs) {
            left.append(QString::fromLatin1(p.value("package")));
        }
        QCOMPARE(left, packagesLeft);
    }

    // Whatever the bytes, the parser returns; every prefix of a real file too.
    void anyInputIsSafe()
    {
        for (int cut = 0; cut <= debianPackages.size(); ++cut) {
            const Deb822::Result result = Deb822::parse(debianPackages.left(cut));
            QVERIFY(result.paragraphs.size() <= 4);
        }
        QRandomGenerator random(20260101);
        const QByteArray alphabet("Pa:ck \t\n\r\0,|()<>=x-", 21);
        for (int round = 0; round < 3000; ++round) {
            QByteArray text;
            const int size = random.bounded(200);
            for (int i = 0; i < size; ++i) {
                text += round % 2 ? char(random.bounded(256)) : alphabet.at(random.bounded(alphabet.size()));
            }
            const Deb822::Result result = Deb822::parse(text);
            for (const Deb822::Paragraph &p : result.paragraphs) {
                QVERIFY(!p.fields.isEmpty());
                for (const Deb822::Field &f : p.fields) {
                    Deb822::relationNames(f.value);
                }
            }
        }
    }

    void relationNames_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QVector<QByteArray>>("names");
        QTest::newRow("empty") << QByteArray() << QVector<QByteArray>{};
        QTest::newRow("versions") << QByteArray("systemd (<< 245.4-2~), time-daemon") << QVector<QByteArray>{"systemd", "time-daemon"};
        QTest::newRow("alternatives") << QByteArray("a | b (>= 1) | c") << QVector<QByteArray>{"a", "b", "c"};
        QTest::newRow("qualifiers") << QByteArray("perl:any, foo [amd64 i386] <!nocheck>,bar:amd64") << QVector<QByteArray>{"perl", "foo", "bar"};
        QTest::newRow("continued") << QByteArray("ntp,\ntime-daemon (= 1.0),  ntp") << QVector<QByteArray>{"ntp", "time-daemon"};
        QTest::newRow("junk") << QByteArray(",, | ,(1)") << QVector<QByteArray>{};
    }

    void relationNames()
    {
        QFETCH(QByteArray, field);
        QFETCH(QVector<QByteArray>, names);
        QCOMPARE(Deb822::relationNames(field), names);
    }

    void installedStatus_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("installed");
        QTest::newRow("installed") << QByteArray("install ok installed") << true;
        QTest::newRow("held") << QByteArray("hold ok installed") << true;
        QTest::newRow("config files") << QByteArray("deinstall ok config-files") << false;
        QTest::newRow("removal pending") << QByteArray("deinstall ok installed") << false;
        QTest::newRow("reinst required") << QByteArray("install reinstreq installed") << false;
        QTest::newRow("half configured") << QByteArray("install ok half-configured") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void installedStatus()
    {
        QFETCH(QByteArray, status);
        QFETCH(bool, installed);
        QCOMPARE(PackageRelations::isInstalledStatus(status), installed);
    }

    void conflictRule()
    {
        // Through a virtual package both provide, in either direction.
        QVERIFY(PackageRelations::conflict(record("a", {"time-daemon"}, {"time-daemon"}), record("b", {"time-daemon"}, {})));
        QVERIFY(PackageRelations::conflict(record("b", {"time-daemon"}, {}), record("a", {"time-daemon"}, {"time-daemon"})));
        // Directly by name, from either side.
        QVERIFY(PackageRelations::conflict(record("a", {}, {"b"}), record("b", {}, {})));
        QVERIFY(PackageRelations::conflict(record("b", {}, {}), record("a", {}, {"b"})));
        // Providing the same thing is no conflict; nor is a conflict with a third package.
        QVERIFY(!PackageRelations::conflict(record("a", {"time-daemon"}, {}), record("b", {"time-daemon"}, {})));
        QVERIFY(!PackageRelations::conflict(record("a", {}, {"ntp"}), record("b", {"time-daemon"}, {"ntp"})));
        // Conflicting with what one provides oneself is not a conflict with oneself.
        const PackageRecord chrony = record("chrony", {"time-daemon"}, {"time-daemon"});
        QVERIFY(!PackageRelations::conflict(chrony, chrony));
    }

    void databaseFromDebianData()
    {
        PackageDatabase db({QStringLiteral("chrony"), QStringLiteral("systemd-timesyncd"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")});
        const QByteArray status =
            "Package: libc6\nStatus: install ok installed\nProvides: time-daemon\n\n"
            "Package: chrony\nStatus: install ok installed\nVersion: 4.3\nProvides: time-daemon\nConflicts: time-daemon\n\n"
            "Package: ntpsec\nStatus: deinstall ok config-files\nVersion: 1.2\n\n";
        db.loadStatus(status, QStringLiteral("status"));
        db.addAptList(debianPackages, QStringLiteral("Packages"));

        QVERIFY(db.isInstalled(QStringLiteral("chrony")));
        QVERIFY(!db.isInstalled(QStringLiteral("ntpsec")));
        QVERIFY(!db.isInstalled(QStringLiteral("systemd-timesyncd")));
        QVERIFY(!db.isInstalled(QStringLiteral("libc6"))); // not one of ours: not kept
        const QStringList all{QStringLiteral("chrony"), QStringLiteral("systemd-timesyncd"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")};
        for (const QString &a : all) {
            for (const QString &b : all) {
                QCOMPARE(db.conflict(a, b), a != b);
            }
        }
        QCOMPARE(db.record(QStringLiteral("systemd-timesyncd")).replaces, (QVector<QByteArray>{"systemd", "time-daemon"}));
        QVERIFY(!db.conflict(QStringLiteral("chrony"), QStringLiteral("unknown-package")));
    }

    void aptListOnlyOurParagraphs()
    {
        PackageDatabase db({QStringLiteral("ntpsec"), QStringLiteral("openntpd")});
        const QByteArray list =
            "Package: libc6\nProvides: broken line without colon? no: fine\n\n"
            "Package: unrelated\nbad line\n\n" // not ours: not even looked at
            "Package: ntpsec\nVersion: 1\nProvides: time-daemon\n  \n"
            "Package: openntpd\nConflicts: time-daemon\nno colon here\n";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^lists/x_Packages:13: corrupt package list: ")));
        db.addAptList(list, QStringLiteral("lists/x_Packages"));
        QCOMPARE(db.record(QStringLiteral("ntpsec")).provides, QVector<QByteArray>{"time-daemon"});
        QVERIFY(db.record(QStringLiteral("openntpd")).conflicts.isEmpty());
        QVERIFY(!db.isInstalled(QStringLiteral("ntpsec"))); // apt's lists never say installed
    }

    // 100,000 relations or fields in one stanza, in two lists: a generous limit.
    void hugeStanzas_data()
    {
        QTest::addColumn<QByteArray>("chrony");
        QTest::addColumn<QByteArray>("openntpd");
        QTest::addColumn<int>("conflicts");
        QByteArray provides("Provides: "), conflicts("Conflicts: "), fields;
        for (int i = 0; i < 100000; ++i) {
            const QByteArray n = QByteArray::number(i);
            provides += "q" + n + ", ";
            conflicts += "p" + n + " (>= 1) | p" + n + ",\n "; // each name twice
            fields += "X-" + n + ": v\n";
        }
        QTest::newRow("relations") << provides + "time-daemon\n" << conflicts + "time-daemon\n" << 100001;
        QTest::newRow("fields") << QByteArray("Provides: time-daemon\n") << fields + "Conflicts: time-daemon\n" << 1;
    }

    void hugeStanzas()
    {
        QFETCH(QByteArray, chrony);
        QFETCH(QByteArray, openntpd);
        QFETCH(int, conflicts);
        const QByteArray list = "Package: chrony\n" + chrony + "\nPackage: openntpd\n" + openntpd;
        PackageDatabase db({QStringLiteral("chrony"), QStringLiteral("openntpd")});
        QElapsedTimer timer;
        timer.start();
        db.addAptList(list, QStringLiteral("main_Packages"));
        db.addAptList(list, QStringLiteral("updates_Packages"));
        QVERIFY(db.conflict(QStringLiteral("chrony"), QStringLiteral("openntpd")));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(db.record(QStringLiteral("openntpd")).conflicts.size(), conflicts);
    }

    // What each service's own status tool prints, read as a state.
    void statusTools_data()
    {
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<Answer>("answer");
        auto row = [](const char *name, const char *tool, const QByteArray &output, Answer answer) {
            QTest::newRow(name) << QByteArray(tool) << output << answer;
        };
        row("chrony synchronized",
            "chronyc",
            "7F000001,127.0.0.1,11,1796544874.745828063,-0.000001564,0.000000022,0.000000022,-0.020,0.006,0.243,0.000006125,0.000000601,0.0,Normal\n",
            Answer::Synchronized);
        row("chrony leap second", "chronyc", "A29FC801,162.159.200.1,3,1,0,0,0,0,0,0,0,0,64.0,Insert second\n", Answer::Synchronized);
        row("chrony not synchronized", "chronyc", "00000000,,0,0,0,0,0,0,0,0,1.000000000,1.000000000,0.0,Not synchronised\n", Answer::NotSynchronized);
        row("chrony daemon gone", "chronyc", "506 Cannot talk to daemon\n", Answer::Unknown);
        row("chrony empty", "chronyc", "", Answer::Unknown);
        row("chrony odd leap", "chronyc", "0,,0,0,0,0,0,0,0,0,0,0,0,Maybe\n", Answer::Unknown);
        row("ntpq synchronized",
            "ntpq",
            "associd=0 status=0615 leap_none, sync_ntp, 1 event, clock_sync,\nversion=\"ntpd ntpsec-1.2.2\",\n"
            "processor=\"x86_64\", system=\"Linux/6.1.0\", leap=00, stratum=3,\nprecision=-24, rootdelay=1.2\n",
            Answer::Synchronized);
        row("ntpq alarm", "ntpq", "associd=0 status=c016 leap_alarm, sync_unspec, 1 event, restart,\nleap=11, stratum=16,\n", Answer::NotSynchronized);
        row("ntpq refused", "ntpq", "ntpq: read: Connection refused\n", Answer::Unknown);
        row("ntpq other name", "ntpq", "noleap=00", Answer::Unknown);
        row("ntpctl synced", "ntpctl", "4/4 peers valid, clock synced, stratum 2\n", Answer::Synchronized);
        row("ntpctl unsynced", "ntpctl", "0/4 peers valid, clock unsynced\n", Answer::NotSynchronized);
        row("ntpctl no daemon", "ntpctl", "ntpctl: connect: /var/run/ntpd.sock: No such file\n", Answer::Unknown);
    }

    void statusTools()
    {
        QFETCH(QByteArray, tool);
        QFETCH(QByteArray, output);
        QFETCH(Answer, answer);
        const Answer read = tool == "chronyc" ? SyncParsers::chronyTracking(output)
            : tool == "ntpq"                  ? SyncParsers::ntpqVariables(output)
                                              : SyncParsers::ntpctlStatus(output);
        QCOMPARE(read, answer);
    }

    void timesyncdAndKernel()
    {
        const QString server = QStringLiteral("0.debian.pool.ntp.org");
        QCOMPARE(SyncParsers::timesyncdMessage(server, 0, 2, 123), Answer::Synchronized);
        QCOMPARE(SyncParsers::timesyncdMessage(server, 3, 2, 123), Answer::NotSynchronized); // leap alarm
        QCOMPARE(SyncParsers::timesyncdMessage(server, 0, 16, 123), Answer::NotSynchronized); // stratum
        QCOMPARE(SyncParsers::timesyncdMessage(server, 0, 0, 123), Answer::NotSynchronized);
        QCOMPARE(SyncParsers::timesyncdMessage(server, 0, 2, 0), Answer::NotSynchronized); // no answer yet
        QCOMPARE(SyncParsers::timesyncdMessage(QString(), 0, 2, 123), Answer::NotSynchronized);

        QCOMPARE(SyncParsers::kernelClock(0, 100000), Answer::Synchronized);
        QCOMPARE(SyncParsers::kernelClock(STA_UNSYNC, 100000), Answer::NotSynchronized);
        QCOMPARE(SyncParsers::kernelClock(STA_PLL, 15999999), Answer::Synchronized);
        QCOMPARE(SyncParsers::kernelClock(STA_PLL, 16000000), Answer::NotSynchronized);
    }
};

QTEST_GUILESS_MAIN(LogicParsersTest)
#include "logicparserstest.moc"
