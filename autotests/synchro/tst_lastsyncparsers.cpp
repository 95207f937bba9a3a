// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "synchro/lastsyncparsers.h"
#include "synchro/lastsyncreader.h"

#include <QTest>

static QDateTime utc(const char *iso)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

class LastSyncParsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chrony_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QDateTime>("when");
        // As chronyc 4.3 prints it for a server, then before any answer.
        QTest::newRow("server") << QStringLiteral(
            "7F000001,127.0.0.1,11,1796544513.756552678,-0.000001480,-0.000000014,0.000000033,0.129,-0.005,0.767,0.000003912,0.000000997,0.0,Normal\n")
                                << QStringLiteral("127.0.0.1") << utc("2026-12-06T08:08:33.756");
        QTest::newRow("unsynchronised") << QStringLiteral(
            "00000000,,0,0.000000000,0.000000000,0.000000000,0.000000000,0.000,0.000,0.000,1.000000000,1.000000000,0.0,Not synchronised\n")
                                        << QString() << QDateTime();
        // A reference clock has no address; its ID spells "GPS".
        QTest::newRow("refclock") << QStringLiteral("47505300,,1,1700000000.500000000,0,0,0,0,0,0,0,0,16.0,Normal") << QStringLiteral("GPS")
                                  << utc("2023-11-14T22:13:20.500");
        QTest::newRow("ipv6") << QStringLiteral("A1B2C3D4,2001:db8::1,2,1700000000.0,0,0,0,0,0,0,0,0,64.0,Normal") << QStringLiteral("2001:db8::1")
                              << utc("2023-11-14T22:13:20.000");
        QTest::newRow("error text") << QStringLiteral("506 Cannot talk to daemon") << QString() << QDateTime();
        QTest::newRow("empty") << QString() << QString() << QDateTime();
    }

    void chrony()
    {
        QFETCH(QString, output);
        QFETCH(QString, server);
        QFETCH(QDateTime, when);
        const LastSyncRecord record = LastSyncParsers::parseChronyTracking(output);
        QCOMPARE(record.isKnown(), !server.isEmpty());
        if (record.isKnown()) {
            QCOMPARE(record.server, server);
            QCOMPARE(record.when, when);
        }
    }

    void ntpTimestamp()
    {
        QCOMPARE(LastSyncParsers::fromNtpHexTimestamp(QStringLiteral("e25a6793.80000000")), utc("2020-05-04T10:06:11.500"));
        // Era 1 begins on 2036-02-07.
        QCOMPARE(LastSyncParsers::fromNtpHexTimestamp(QStringLiteral("00000010.00000000")), utc("2036-02-07T06:28:32.000"));
        QVERIFY(!LastSyncParsers::fromNtpHexTimestamp(QStringLiteral("00000000.00000000")).isValid());
        QVERIFY(!LastSyncParsers::fromNtpHexTimestamp(QStringLiteral("zz")).isValid());
    }

    void ntpq_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("server");
        QTest::newRow("synchronized") << QStringLiteral(
            "associd=0 status=0615 leap_none, sync_ntp, 1 event, clock_sync,\n"
            "version=\"ntpd ntpsec-1.2.2 2023-05-07T21:18:49Z\", processor=\"x86_64\",\n"
            "system=\"Linux/6.1.0-9-amd64\", leap=00, stratum=3, precision=-24,\n"
            "rootdelay=11.432, rootdisp=22.156, refid=192.0.2.10,\n"
            "reftime=e25a6793.80000000 Mon, May  4 2020 10:06:11.500,\n"
            "clock=e25a67a9.7b8ae150 Mon, May  4 2020 10:06:33.482, peer=13389, tc=6,\n"
            "mintc=3, offset=+2.729, frequency=+10.297, sys_jitter=14.127,\n"
            "clk_jitter=1.646, clk_wander=0.021\n")
                                      << QStringLiteral("192.0.2.10");
        QTest::newRow("starting") << QStringLiteral(
            "associd=0 status=c012 leap_alarm, sync_unspec, 1 event, freq_set,\n"
            "leap=11, stratum=16, precision=-24, rootdelay=0.000, rootdisp=0.450, refid=INIT,\n"
            "reftime=00000000.00000000 Mon, Jan  1 1900  0:00:00.000,\n")
                                  << QString();
        QTest::newRow("refclock") << QStringLiteral("leap=00, stratum=1, refid=.GPS.,\nreftime=e25a6793.80000000 Mon, May  4 2020 10:06:11.500,\n")
                                  << QStringLiteral("GPS");
        QTest::newRow("quoted commas") << QStringLiteral("leap=00, refid=203.0.113.5, version=\"a, refid=fake, b\", reftime=e25a6793.00000000")
                                       << QStringLiteral("203.0.113.5");
        QTest::newRow("refused") << QStringLiteral("***Server reports a format error in the received packet (shouldn't happen)") << QString();
    }

    void ntpq()
    {
        QFETCH(QString, output);
        QFETCH(QString, server);
        const LastSyncRecord record = LastSyncParsers::parseNtpqReadvar(output);
        QCOMPARE(record.isKnown(), !server.isEmpty());
        if (record.isKnown()) {
            QCOMPARE(record.server, server);
            QVERIFY(record.when.date().year() == 2020);
        }
    }

    void ntpctl_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("secondsAgo");
        const QString header = QStringLiteral("peer\n   wt tl st  next  poll          offset       delay      jitter\n");
        QTest::newRow("pool") << header
                + QStringLiteral("162.159.200.1 from pool pool.ntp.org\n"
                                 "    1 10  3   14s   32s         0.155ms     4.402ms     0.236ms\n"
                                 "192.0.2.44 from pool pool.ntp.org\n"
                                 " *  1 10  2   20s   32s        -0.105ms     1.102ms     0.218ms\n")
                              << QStringLiteral("192.0.2.44") << 12;
        QTest::newRow("named server") << header
                + QStringLiteral("192.0.2.5 ntp.example.org (non-dnssec lookup)\n"
                                 " *  1 10  2 1500s 1530s        -0.105ms     1.102ms     0.218ms\n")
                                      << QStringLiteral("ntp.example.org") << 30;
        QTest::newRow("server by address") << header
                + QStringLiteral("192.0.2.6 \n"
                                 " *  1 10  2    5s   30s         0.001ms     1.000ms     0.100ms\n")
                                           << QStringLiteral("192.0.2.6") << 25;
        QTest::newRow("none selected") << header
                + QStringLiteral("not resolved pool.ntp.org\n"
                                 "    1  2  -  300s  300s             ---- peer not valid ----\n")
                                       << QString() << 0;
        QTest::newRow("no peers") << QStringLiteral("no peers configured\n") << QString() << 0;
    }

    void ntpctl()
    {
        QFETCH(QString, output);
        QFETCH(QString, server);
        QFETCH(int, secondsAgo);
        const QDateTime now = utc("2024-03-01T12:00:00.000");
        const LastSyncRecord record = LastSyncParsers::parseNtpctlPeers(output, now);
        QCOMPARE(record.isKnown(), !server.isEmpty());
        if (record.isKnown()) {
            QCOMPARE(record.server, server);
            QCOMPARE(record.when, now.addSecs(-secondsAgo));
        }
    }

    void displayTexts()
    {
        // Nothing known: no texts at all, so the window shows no tool tip.
        const LastSynchroInfo unknown = LastSyncReader::toInfo({QDateTime(), QStringLiteral("192.0.2.1")});
        QVERIFY(unknown.server.isEmpty() && unknown.date.isEmpty() && unknown.time.isEmpty());

        // Shown in local time, in the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QDateTime when = utc("2024-03-01T23:30:00.000");
        const LastSynchroInfo info = LastSyncReader::toInfo({when, QStringLiteral("ntp.example.org")});
        QLocale::setDefault(QLocale::c());
        QCOMPARE(info.server, QStringLiteral("ntp.example.org"));
        const QDateTime local = when.toLocalTime();
        QCOMPARE(info.date, QLocale(QLocale::German, QLocale::Germany).toString(local.date(), QLocale::ShortFormat));
        QCOMPARE(info.time, QLocale(QLocale::German, QLocale::Germany).toString(local.time(), QLocale::ShortFormat));
        QVERIFY(info.date.contains(QLatin1Char('.')));
    }
};

QTEST_GUILESS_MAIN(LastSyncParsersTest)
#include "tst_lastsyncparsers.moc"
