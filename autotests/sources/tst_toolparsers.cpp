// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The tools' outputs, captured from chronyc and ntpdig in the sandbox and
// written after ntpq's and ntpctl's documented formats: read into the Sources
// table's rows, into the state the status line and last-sync info show, and
// into the diagnosis (chronyc's in each state diagnosis/scenarios.sh makes).

#include "diagnosis/diagnosis.h"
#include "diagnosis/sourceorigins.h"
#include "syncstate/lastsyncreader.h"
#include "syncstate/sourceparsers.h"
#include "syncstate/stateparsers.h"

#include <QTemporaryDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// Files under a root: "path=text" a line, "\\n" for a newline.
static void writeFiles(const QString &root, const QString &files)
{
    for (const QString &entry : files.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QDir().mkpath(root + entry.section(QLatin1Char('='), 0, 0).section(QLatin1Char('/'), 0, -2));
        QFile file(root + entry.section(QLatin1Char('='), 0, 0));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(entry.section(QLatin1Char('='), 1).replace(QLatin1String("\\n"), QLatin1String("\n")).toUtf8());
    }
}

// address|name|state|stratum|reach|offset|delay|jitter|poll|since
static QString describe(const SourceRow &r)
{
    const auto n = [](double v) {
        return std::isnan(v) || v < -0.5 ? QStringLiteral("-") : QString::number(v, 'g', 4);
    };
    const QString reach = r.reach < 0 ? QStringLiteral("-1") : QString::number(r.reach, 8);
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10")
        .arg(r.address, r.name, QString::number(r.state), QString::number(r.stratum), reach)
        .arg(n(r.offset), n(r.delay), n(r.jitter), n(r.poll), n(r.sinceLast));
}

// Debian 13's answers as debian13/capture.sh captured them.
static QByteArray debian13(const char *name)
{
    QFile file(QLatin1String(ZEL_DEBIAN13_FIXTURES) + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing fixture");
}

class SourceParsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tools_data();
    void tools();
    void ntpdig_data();
    void ntpdig();
    void timesyncd();
    void state_data();
    void state();
    void diagnosis_data();
    void diagnosis();
    void desktopSwitch_data();
    void desktopSwitch();
    void timesyncdOrigins();
};

void SourceParsersTest::tools_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("rows"); // one a line
    QTest::addColumn<QString>("error");
    // 0 followed, 1 candidate, 2 rejected, 3 falseticker, 4 unreachable, 5 not in use

    QTest::newRow("chrony: followed, unreachable, IPv6") << "chrony"
                                                         << QByteArray(
                                                                "^,*,127.0.0.1,10,-6,377,0,-0.000000001,-0.000000002,0.000002848\n"
                                                                "^,?,127.0.0.2,0,0,0,4294967295,0.000000000,0.000000000,0.000000000\n"
                                                                "^,?,::1,0,0,0,4294967295,0.000000000,0.000000000,0.000000000\n"
                                                                "127.0.0.1,64,32,1,-0.000,0.168,-0.000000000,0.000000154\n"
                                                                "127.0.0.2,0,0,0,0.000,2000.000,0.000000000,4.000000000\n"
                                                                "::1,0,0,0,0.000,2000.000,0.000000000,4.000000000\n")
                                                         << "127.0.0.1||0|10|377|-1e-09|-|1.54e-07|0.01563|0\n"
                                                            "127.0.0.2||4|-1|0|-|-|-|-|-\n"
                                                            "::1||4|-1|0|-|-|-|-|-"
                                                         << QString();
    QTest::newRow("chrony: reference clock without address, candidate, falseticker")
        << "chrony"
        << QByteArray(
               "#,*,PPS0,0,4,377,13,0.000000211,0.000000198,0.000000450\n"
               "^,+,2001:db8::123,2,10,357,300,-0.000512000,-0.000498000,0.024100000\n"
               "^,x,192.0.2.9,3,10,17,1200,0.351200000,0.351100000,0.030000000\n"
               "^,~,192.0.2.10,2,6,1,40,0.00120,0.00120,0.5\n")
        << "|PPS0|0|0|377|2.11e-07|-|-|16|13\n"
           "2001:db8::123||1|2|357|-0.000512|-|-|1024|300\n"
           "192.0.2.9||3|3|17|0.3512|-|-|1024|1200\n"
           "192.0.2.10||2|2|1|0.0012|-|-|64|40"
        << QString();
    QTest::newRow("chrony 4.6") << "chrony" << debian13("chrony-synchronized.sources") << "127.0.0.2||0|8|377|3.33e-07|-|1.86e-07|0.25|0" << QString();
    QTest::newRow("chrony: no daemon") << "chrony" << QByteArray("506 Cannot talk to daemon\n") << ""
                                       << "506 Cannot talk to daemon";
    QTest::newRow("chrony: no sources") << "chrony" << QByteArray() << "" << QString();

    const QByteArray ntpqHeader =
        "     remote                                   refid      st t when poll reach   delay   offset   jitter\n"
        "=======================================================================================================\n";
    QTest::newRow("ntpq: pool, followed, wide IPv6, unreachable, falseticker") << "ntpq"
        << ntpqHeader
            + " 0.debian.pool.ntp.org                    .POOL.          16 p    -  256    0   0.0000   0.0000   0.0001\n"
              "*192.0.2.10                              .GPS.            1 u   35   64  377  12.3450  -0.1230   0.4560\n"
              "+2001:db8:4a1b:70:1c02:2bff:fe35:8ee1\n"
              "                                         192.0.2.1        2 u  2h  1024  376  25.1234   1.2340   0.7890\n"
              " 203.0.113.9                             .INIT.          16 u    - 1024    0   0.0000   0.0000   0.0000\n"
              "x192.0.2.99                              192.0.2.1        2 u   50   64  377   9.0000 250.1230   3.0000\n"
              "-198.51.100.7                            203.0.113.5      3 u   3m  128  177  40.0000   5.0000   2.0000\n"
        << "|0.debian.pool.ntp.org|5|-1|0|-|-|-|256|-\n" "192.0.2.10||0|1|377|-0.000123|0.01235|0.000456|64|35\n" "2001:db8:4a1b:70:1c02:2bff:fe35:8ee1||1|2|376|0.001234|0.02512|0.000789|1024|7200\n" "203.0.113.9||4|-1|0|-|-|-|1024|-\n" "192.0.2.99||3|2|377|0.2501|0.009|0.003|64|50\n" "198.51.100.7||2|3|177|0.005|0.04|0.002|128|180"
        << QString();
    QTest::newRow("ntpq 1.2.3") << "ntpq" << debian13("ntpq.peers") << "192.0.2.2||0|8|1|1.83e-05|5.71e-05|9e-06|8|-\n192.0.2.4||4|-1|0|-|-|-|8|-"
                                << QString();
    QTest::newRow("ntpq: no daemon") << "ntpq" << QByteArray("ntpq: read: Connection refused\n") << ""
                                     << "ntpq: read: Connection refused";

    QTest::newRow("ntpctl: pool, named, not valid, IPv6, sensor") << "ntpctl"
                                                                  << QByteArray(
                                                                         "peer\n"
                                                                         "   wt tl st  next  poll          offset       delay      jitter\n"
                                                                         "192.0.2.1 from pool pool.ntp.org\n"
                                                                         " *  1 10  2   12s   32s        -0.140ms    12.215ms     0.505ms\n"
                                                                         "2001:db8::53 time.example.org (non-dnssec lookup)\n"
                                                                         "    1 10  3   24s   32s         1.240ms    25.010ms     1.111ms\n"
                                                                         "192.0.2.7\n"
                                                                         "    1  2  -  300s  300s             ---- peer not valid ----\n"
                                                                         "\nsensor\n   wt gd st  next  poll          offset  correction\n"
                                                                         "nmea0\n    1  1  0    5s   15s         0.000ms     0.000ms\n")
                                                                  << "192.0.2.1|pool.ntp.org|0|2|-1|-0.00014|0.01222|0.000505|32|20\n"
                                                                     "2001:db8::53|time.example.org|1|3|-1|0.00124|0.02501|0.001111|32|8\n"
                                                                     "192.0.2.7||4|-1|-1|-|-|-|300|-"
                                                                  << QString();
    QTest::newRow("ntpctl: no daemon") << "ntpctl" << QByteArray("ntpctl: connect: /var/run/ntpd.sock: No such file or directory\n") << ""
                                       << "ntpctl: connect: /var/run/ntpd.sock: No such file or directory";
}

void SourceParsersTest::tools()
{
    QFETCH(QString, tool);
    QFETCH(QByteArray, output);
    QFETCH(QString, rows);
    QFETCH(QString, error);
    const SourcesReport report = tool == QLatin1String("chrony") ? SourceParsers::chrony(output)
        : tool == QLatin1String("ntpq")                          ? SourceParsers::ntpq(output)
                                                                 : SourceParsers::ntpctl(output);
    QStringList got;
    for (const SourceRow &row : report.rows) {
        got.append(describe(row));
    }
    QCOMPARE(got.join(QLatin1Char('\n')), rows);
    QCOMPARE(report.error, error);
}

void SourceParsersTest::ntpdig_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("stratum"); // -1: not reachable
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("delay");
    QTest::addColumn<QString>("error");
    QTest::newRow("answered") << QByteArray(
        "ntpdig: querying 127.0.0.1 (127.0.0.1)\n"
        "org t1: eebfc5eb.91796000 rec t2: eebfc5eb.91847761\n"
        "xmt t3: eebfc5eb.9187aba4 dst t4: eebfc5eb.918ab000\n"
        "org t1: 1796556651.568258 rec t2: 1796556651.568428\n"
        "xmt t3: 1796556651.568476 dst t4: 1796556651.568522\n"
        "rec-org t21: 0.000169  xmt-dst t34: -0.000046\n"
        "{\"time\":\"2026-12-06T11:30:51.568476+0000\",\"offset\":0.000062,\"precision\":0.000108,\"host\":\"127.0.0.1\","
        "\"ip\":\"127.0.0.1\",\"stratum\":10,\"leap\":\"no-leap\",\"adjusted\":false}\n")
                              << 10 << 0.000062 << 0.000215 << QString();
    QTest::newRow("no answer") << QByteArray("ntpdig: querying 127.0.0.2 (127.0.0.2)\nntpdig: no eligible servers\n") << -1 << 0.0 << 0.0
                               << "ntpdig: no eligible servers";
    QTest::newRow("unknown name") << QByteArray("ntpdig: lookup of ntp.invalid failed, errno -2 = Name or service not known\nntpdig: no eligible servers\n")
                                  << -1 << 0.0 << 0.0
                                  << "ntpdig: lookup of ntp.invalid failed, errno -2 = Name or service not known\nntpdig: no eligible servers";
    QTest::newRow("unsynchronized server") << QByteArray("{\"offset\":0.1,\"stratum\":16}\nntpdig: no eligible servers\n") << -1 << 0.0 << 0.0
                                           << "{\"offset\":0.1,\"stratum\":16}\nntpdig: no eligible servers";
    // Found by the fuzzer: no daemon sends it, but it must not pass for stratum 0.
    QTest::newRow("fractional stratum") << QByteArray("{\"offset\":0.000062,\"stratum\":1.000062}") << -1 << 0.0 << 0.0
                                        << "{\"offset\":0.000062,\"stratum\":1.000062}";
}

void SourceParsersTest::ntpdig()
{
    QFETCH(QByteArray, output);
    QFETCH(int, stratum);
    QFETCH(double, offset);
    QFETCH(double, delay);
    const ServerCheck check = SourceParsers::ntpdig(output);
    QCOMPARE(check.reachable, stratum > 0);
    QCOMPARE(check.stratum, stratum);
    QCOMPARE(std::isnan(check.offset), !check.reachable);
    QCOMPARE(std::isnan(check.delay), !check.reachable);
    if (check.reachable) {
        QVERIFY(qAbs(check.offset - offset) < 1e-9);
        QVERIFY(qAbs(check.delay - delay) < 1e-9);
    }
    QTEST(check.error, "error");
}

void SourceParsersTest::timesyncd()
{
    // Times in microseconds: sent at 1000, received by the server at 1600
    // (its clock 500 ahead), sent back at 1700, back here at 1300.
    TimesyncdSources p;
    p.serverName = QStringLiteral("ntp.example.org");
    p.serverAddress = QStringLiteral("2001:db8::7");
    p.systemServers = QStringList{QStringLiteral("ntp.example.org"), QStringLiteral("192.0.2.4")};
    p.fallbackServers = QStringList{QStringLiteral("fallback.example.org")};
    p.pollUSec = 64000000;
    p.stratum = 2;
    p.origin = 1000, p.receive = 1600, p.transmit = 1700, p.destination = 1300, p.jitterUSec = 20;
    p.nowUSec = 3001300;
    QCOMPARE(describe(SourceParsers::timesyncd(p).value(0)), QStringLiteral("2001:db8::7|ntp.example.org|0|2|-1|0.0005|0.0002|2e-05|64|3"));
    QCOMPARE(SourceParsers::timesyncd(p).value(1).name, QStringLiteral("192.0.2.4"));
    QCOMPARE(SourceParsers::timesyncd(p).size(), 2);
    // Before the first answer: the server is asked, not followed.
    p.destination = 0;
    p.systemServers.clear();
    const QVector<SourceRow> waiting = SourceParsers::timesyncd(p);
    QCOMPARE(describe(waiting.value(0)), QStringLiteral("2001:db8::7|ntp.example.org|4|-1|-1|-|-|-|64|-"));
    QCOMPARE(waiting.value(1).name, QStringLiteral("fallback.example.org"));
    QCOMPARE(StateParsers::timesyncd(p).answer, SyncState::NotSynchronized);
    // Its last answer: the server's transmit time, unless that is nonsense.
    p.destination = 1796544513000000;
    p.transmit = 1796544513500000;
    QCOMPARE(StateParsers::timesyncd(p).when, QDateTime::fromMSecsSinceEpoch(1796544513500, Qt::UTC));
    p.transmit = 1700;
    QCOMPARE(StateParsers::timesyncd(p).when, QDateTime::fromMSecsSinceEpoch(1796544513000, Qt::UTC));
    p.serverName.clear();
    QCOMPARE(StateParsers::timesyncd(p).server, QStringLiteral("2001:db8::7"));
    p.leap = 3;
    QVERIFY(!StateParsers::timesyncd(p).isKnown());
    // timesyncd drops an answer whose root distance, half the root delay
    // plus the dispersion, is above RootDistanceMaxSec= (5 s by default).
    p.leap = 0;
    p.serverName = QStringLiteral("ntp.example.org");
    p.rootDelayUSec = 2000000, p.rootDistanceMaxUSec = 5000000;
    for (const quint64 dispersion : {3900000, 4100000}) {
        p.rootDispersionUSec = dispersion;
        Finding f = Diagnosis::diagnose(TimesyncdPackage, SourceParsers::timesyncd(p), {}, {});
        Diagnosis::refineTimesyncd(&f, p);
        QCOMPARE(f.kind == Finding::NoneSelected && f.reasons.value(0).reason == Finding::Distance, dispersion > 4000000);
    }

    // timesyncd 257's properties as busctl showed them (org.freedesktop.timesync1(5)); offset
    // ((T2-T1)+(T3-T4))/2 and delay (T4-T1)-(T3-T2) as RFC 5905 has them.
    const QJsonObject all = QJsonDocument::fromJson(debian13("timesyncd.json")).object().value(QLatin1String("data")).toArray().at(0).toObject();
    const auto data = [&all](const char *name) {
        return all.value(QLatin1String(name)).toObject().value(QLatin1String("data"));
    };
    TimesyncdSources d;
    d.serverName = data("ServerName").toString();
    d.serverAddress = data("ServerAddress").toArray().at(1).toVariant().toStringList().join(QLatin1Char('.'));
    d.pollUSec = data("PollIntervalUSec").toDouble();
    const QJsonArray m = data("NTPMessage").toArray(); // leap, version, mode, stratum, ..., T1 to T4 at 8 to 11, jitter at 14
    d.leap = m.at(0).toInt(), d.stratum = m.at(3).toInt(), d.jitterUSec = m.at(14).toDouble();
    d.origin = m.at(8).toDouble(), d.receive = m.at(9).toDouble(), d.transmit = m.at(10).toDouble(), d.destination = m.at(11).toDouble();
    d.nowUSec = d.destination + 3000000;
    QCOMPARE(describe(SourceParsers::timesyncd(d).value(0)), QStringLiteral("127.0.0.2||0|9|-1|3e-06|2.2e-05|0|64|3"));
    QCOMPARE(StateParsers::timesyncd(d).when, QDateTime::fromMSecsSinceEpoch(1796586001170, Qt::UTC));
}

void SourceParsersTest::state_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("answer"); // 0 synchronized, 1 not, 2 unknown
    QTest::addColumn<QString>("server"); // and when, in UTC; empty when not known
    const QByteArray peers = "peer\n   wt tl st  next  poll          offset       delay      jitter\n";
    QTest::newRow("chronyc: server") << "chronyc"
                                     << QByteArray(
                                            "7F000001,127.0.0.1,11,1796544513.756552678,-0.000001480,-0.000000014,0.000000033,0.129,-0.005,0.767,"
                                            "0.000003912,0.000000997,0.0,Normal\n")
                                     << 0 << "127.0.0.1 2026-12-06T08:08:33.756";
    QTest::newRow("chronyc: unsynchronised") << "chronyc"
                                             << QByteArray("00000000,,0,0.000000000,0,0,0,0.000,0.000,0.000,1.000000000,1.000000000,0.0,Not synchronised\n")
                                             << 1 << "";
    // A reference clock has no address; its ID spells "GPS".
    QTest::newRow("chronyc: refclock") << "chronyc" << QByteArray("47505300,,1,1700000000.500000000,0,0,0,0,0,0,0,0,16.0,Normal") << 0
                                       << "GPS 2023-11-14T22:13:20.500";
    QTest::newRow("chronyc 4.6") << "chronyc" << debian13("chrony.tracking") << 0 << "127.0.0.2 2026-12-06T19:39:47.174";
    QTest::newRow("ntpq 1.2.3") << "ntpq" << debian13("ntpq.rv") << 0 << "192.0.2.2 2026-12-06T19:39:59.651";
    QTest::newRow("chronyc: no daemon") << "chronyc" << QByteArray("506 Cannot talk to daemon") << 2 << "";
    QTest::newRow("ntpq: synchronized") << "ntpq"
                                        << QByteArray(
                                               "associd=0 status=0615 leap_none, sync_ntp, 1 event, clock_sync,\n"
                                               "version=\"ntpd ntpsec-1.2.2 2023-05-07T21:18:49Z\", leap=00, stratum=3,\n"
                                               "rootdelay=11.432, refid=192.0.2.10,\nreftime=e25a6793.80000000 Mon, May  4 2020 10:06:11.500,\n")
                                        << 0 << "192.0.2.10 2020-05-04T10:06:11.500";
    QTest::newRow("ntpq: starting") << "ntpq" << QByteArray("leap=11, stratum=16, refid=INIT,\nreftime=00000000.00000000 Mon, Jan  1 1900,\n") << 1 << "";
    QTest::newRow("ntpq: choosing") << "ntpq" << QByteArray("leap=00, stratum=16, refid=.STEP.,\n") << 0 << "";
    // Era 1 of NTP time begins on 2036-02-07.
    QTest::newRow("ntpq: refclock, era 1") << "ntpq" << QByteArray("leap=00, stratum=1, refid=.GPS.,\nreftime=00000010.00000000 Thu,\n") << 0
                                           << "GPS 2036-02-07T06:28:32.000";
    QTest::newRow("ntpq: quoted commas") << "ntpq" << QByteArray("leap=00, refid=203.0.113.5, version=\"a, refid=fake, b\", reftime=e25a6793.00000000") << 0
                                         << "203.0.113.5 2020-05-04T10:06:11.000";
    QTest::newRow("ntpq: refused") << "ntpq" << QByteArray("***Server reports a format error") << 2 << "";
    QTest::newRow("ntpctl status: synced") << "status" << QByteArray("4/4 peers valid, clock synced, stratum 3\n") << 0 << "";
    QTest::newRow("ntpctl status: unsynced") << "status" << QByteArray("0/1 peers valid, clock unsynced\n") << 1 << "";
    QTest::newRow("ntpctl peers: pool") << "peers"
                                        << peers + "192.0.2.43 from pool pool.ntp.org\n    1 10  3   14s   32s         0.155ms     4.402ms     0.236ms\n"
                                                   "192.0.2.44 from pool pool.ntp.org\n *  1 10  2   20s   32s        -0.105ms     1.102ms     0.218ms\n"
                                        << 0 << "192.0.2.44 2024-03-01T11:59:48.000";
    QTest::newRow("ntpctl peers: none followed") << "peers" << peers + "not resolved pool.ntp.org\n    1  2  -  300s  300s     ---- peer not valid ----\n"
                                                 << 2 << "";
}

void SourceParsersTest::state()
{
    QFETCH(QString, tool);
    QFETCH(QByteArray, output);
    const QDateTime now = QDateTime::fromString(QStringLiteral("2024-03-01T12:00:00Z"), Qt::ISODate);
    SyncState got;
    if (tool == QLatin1String("status")) {
        got.answer = StateParsers::ntpctlStatus(output);
    } else {
        got = tool == QLatin1String("chronyc") ? StateParsers::chronyTracking(output)
            : tool == QLatin1String("ntpq")    ? StateParsers::ntpqVariables(output)
                                               : StateParsers::ntpctlFollowed(SourceParsers::ntpctl(output).rows, now);
    }
    QTEST(int(got.answer), "answer");
    QTEST(got.isKnown() ? got.server + QLatin1Char(' ') + got.when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) : QString(), "server");
    // The window's texts: none at all when nothing is known (no tool tip).
    QCOMPARE(LastSyncReader::toInfo(got).date.isEmpty(), !got.isKnown());
}

void SourceParsersTest::diagnosis_data()
{
    QTest::addColumn<QString>("input"); // a scenario's fixtures, or tool:output
    QTest::addColumn<QString>("finding"); // kind|server stratum|sources|count|reason:sources...|fixes
    // Kinds: 1 not running, 2 failed, 4 none reachable, 5 offline, 6 none selected, 7 large offset, 9 synchronized.
    // Reasons (chronyc(1)'s selectdata letters, ntpq's tally): 0 x, 1 no majority, 2 ~ or -, 6 M, 8 not valid.
    // Fixes: 1 burst, 2 online, 4 makestep.
    QTest::newRow("synchronized") << "synchronized"
                                  << "9|127.0.0.1 10||0||0";
    QTest::newRow("stopped") << "stopped"
                             << "2| -1||0||0";
    QTest::newRow("unreachable address, unresolved name") << "unreachable"
                                                          << "4| -1|127.0.0.4|1||1";
    QTest::newRow("set offline") << "offline"
                                 << "5| -1||1||2";
    QTest::newRow("one far off of three") << "falseticker"
                                          << "9|127.0.0.2 8||0|0:127.0.0.3|0";
    QTest::newRow("two disagreeing") << "nomajority"
                                     << "6| -1||0|1:127.0.0.1,127.0.0.2|1";
    QTest::newRow("an hour off") << "largeoffset"
                                 << "7|127.0.0.1 10||0||4";
    // NTS (reasons 9 no cookies, 11 key exchange failing): a key of 256 bits
    // and eight cookies; the server stopped, unanswered, no cookie left and
    // one exchange tried.
    QTest::newRow("NTS working") << "nts"
                                 << "9|127.0.0.5 9||0|0:127.0.0.1|0";
    QTest::newRow("NTS server gone") << "ntsfailing"
                                     << "6| -1||0|11:127.0.0.5|1";
    QTest::newRow("chrony 4.6: synchronized") << "../debian13/chrony-synchronized" << "9|127.0.0.2 8||0||0";
    QTest::newRow("chrony 4.6: unreachable") << "../debian13/chrony-unreachable" << "4| -1|127.0.0.4|0||1";
    QTest::newRow("ntpq: falseticker, outlier")
        << "ntpq:remote refid\n*192.0.2.10 .GPS. 1 u 35 64 377 12.3 -0.1 0.4\nx192.0.2.99 192.0.2.1 2 u 50 64 377 9.0 250.1 3.0\n"
           "-198.51.100.7 203.0.113.5 3 u 3m 128 177 40.0 5.0 2.0\n"
        << "9|192.0.2.10 1||0|0:192.0.2.99|2:198.51.100.7|0";
    QTest::newRow("ntpq: none answers") << "ntpq:remote refid\n 203.0.113.9 .INIT. 16 u - 1024 0 0.0 0.0 0.0\n"
                                        << "4| -1|203.0.113.9|0||0";
    QTest::newRow("ntpctl: not valid") << "ntpctl:peer\n   wt tl st  next  poll          offset       delay      jitter\n192.0.2.7\n"
                                          "    1  2  -  300s  300s             ---- peer not valid ----\n"
                                       << "6| -1||0|8:192.0.2.7|0";
}

void SourceParsersTest::diagnosis()
{
    QFETCH(QString, input);
    const auto fixture = [&input](const char *suffix) {
        QFile file(QLatin1String(ZEL_DIAGNOSIS_FIXTURES) + input + QLatin1String(suffix));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing fixture");
    };
    const QString tool = input.section(QLatin1Char(':'), 0, 0);
    const QByteArray output = input.section(QLatin1Char(':'), 1).toUtf8();
    Finding f;
    if (tool == QLatin1String("ntpq") || tool == QLatin1String("ntpctl")) {
        const PackageIndex service = tool == QLatin1String("ntpq") ? NtpsecPackage : OpenntpdPackage;
        f = Diagnosis::diagnose(service, (service == NtpsecPackage ? SourceParsers::ntpq(output) : SourceParsers::ntpctl(output)).rows, {}, {});
    } else {
        // As the monitor does: a daemon that does not answer fails the table first.
        const SourcesReport report = SourceParsers::chrony(fixture(".sources"));
        f.kind = Finding::Failed;
        if (report.error.isEmpty()) {
            f = Diagnosis::diagnose(ChronyPackage, report.rows, Diagnosis::parseChrony(fixture(".state")), QDateTime::currentDateTimeUtc());
        }
    }
    QStringList got{QString::number(f.kind),
                    f.server + QLatin1Char(' ') + QString::number(f.stratum),
                    f.sources.join(QLatin1Char(',')),
                    QString::number(f.count)};
    QStringList reasons;
    for (const Finding::Evidence &e : f.reasons) {
        reasons << QString::number(e.reason) + QLatin1Char(':') + e.sources.join(QLatin1Char(','));
    }
    got << reasons.join(QLatin1Char('|')) << QString::number(f.fixes);
    QTEST(got.join(QLatin1Char('|')), "finding");
}

// What the desktop's switch (timedated's SetNTP) would start: the ntp-units.d
// lists Debian's chrony and systemd-timesyncd packages ship.
void SourceParsersTest::desktopSwitch_data()
{
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("unit"); // this page's, running unless "!"
    QTest::addColumn<int>("ntp"); // timedated's NTP; -1 no answer
    QTest::addColumn<QString>("said"); // what the finding says, and of which unit
    const QString both = QStringLiteral(
        "/usr/lib/systemd/ntp-units.d/80-systemd-timesync.list=# This file is part of systemd.\\n# See systemd-timedated.service(8) for more "
        "information.\\n\\nsystemd-timesyncd.service\\n;/usr/lib/systemd/ntp-units.d/50-chrony.list=chrony.service\\n");
    QTest::newRow("chrony, first of the lists") << both << "chrony.service" << 1 << "0 ";
    QTest::newRow("timesyncd, after chrony") << both << "systemd-timesyncd.service" << 1 << "3 chrony.service";
    QTest::newRow("ntpsec runs, switch off") << both << "ntpsec.service" << 0 << "4 chrony.service";
    QTest::newRow("ntpsec stopped, switch off") << both << "!ntpsec.service" << 0 << "3 chrony.service";
    QTest::newRow("chrony's list masked in /etc") << both + QStringLiteral(";/etc/systemd/ntp-units.d/50-chrony.list=") << "chrony.service" << 0
                                                  << "4 systemd-timesyncd.service";
    QTest::newRow("one in /run first") << both + QStringLiteral(";/run/systemd/ntp-units.d/10-ntpsec.list=ntpsec.service") << "ntpsec.service" << 1
                                       << "0 ";
    QTest::newRow("no lists") << "" << "chrony.service" << 0 << "2 ";
    QTest::newRow("timedated does not answer") << both << "chrony.service" << -1 << "1 no reply";
}

void SourceParsersTest::desktopSwitch()
{
    QFETCH(QString, files);
    QFETCH(QString, unit);
    QFETCH(int, ntp);
    QTemporaryDir root;
    writeFiles(root.path(), files);
    DesktopSwitch desktop{ntp >= 0, ntp < 0 ? QStringLiteral("no reply") : QString(), ntp > 0, true, false, Diagnosis::readNtpUnits(root.path())};
    desktop.canNtp = !desktop.units.isEmpty();
    Finding f;
    Diagnosis::judgeSwitch(&f, unit.mid(unit.startsWith(QLatin1Char('!'))), !unit.startsWith(QLatin1Char('!')), desktop);
    QTEST(QString(QString::number(f.desktopSwitch) + QLatin1Char(' ') + f.switchUnit), "said");
}

// timesyncd's lists as its bus object tells them, each found in its file.
void SourceParsersTest::timesyncdOrigins()
{
    QTemporaryDir root;
    writeFiles(root.path(),
               QStringLiteral("/etc/systemd/timesyncd.conf=[Time]\\nNTP=a.example\\nFallbackNTP=c.example\\n;"
                              "/etc/systemd/timesyncd.conf.d/50-site.conf=[Time]\\nNTP=\\nNTP=b.example 192.0.2.1\\n"));
    TimesyncdSources p;
    p.serverName = QStringLiteral("d.example");
    p.linkServers = QStringList{QStringLiteral("d.example")};
    p.systemServers = QStringList{QStringLiteral("b.example"), QStringLiteral("192.0.2.1")};
    p.fallbackServers = QStringList{QStringLiteral("c.example"), QStringLiteral("e.example")};
    QStringList got;
    for (const SourceOrigin &o : SourceOrigins::timesyncd(p, root.path())) {
        got << QStringLiteral("%1 %2 %3%4").arg(o.host).arg(o.kind).arg(o.file, o.inUse ? QStringLiteral(" in use") : QString());
    }
    QCOMPARE(got.join(QLatin1Char(',')),
             QStringLiteral("d.example 3  in use,b.example 2 /etc/systemd/timesyncd.conf.d/50-site.conf,192.0.2.1 2 /etc/systemd/timesyncd.conf.d/"
                            "50-site.conf,c.example 5 /etc/systemd/timesyncd.conf,e.example 5 "));
}

QTEST_GUILESS_MAIN(SourceParsersTest)
#include "tst_toolparsers.moc"
