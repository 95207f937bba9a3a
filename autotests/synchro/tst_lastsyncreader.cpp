// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sandboxtools.h"
#include "synchro/lastsyncreader.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <signal.h>
#include <sys/socket.h>

Q_DECLARE_METATYPE(LastSynchroInfo)

static constexpr int answerWait = 30000;

// timesyncd's Manager object as the bus shows it, on a connection of its own.
class FakeTimesyncd : public QDBusVirtualObject
{
    Q_OBJECT

public:
    QString serverName;
    int family = AF_INET;
    QByteArray address;
    quint64 transmitUsec = 0;
    quint64 destinationUsec = 0;
    // Keep the calls instead of answering them.
    bool holdReplies = false;
    QList<QDBusMessage> held;

    FakeTimesyncd()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-timesyncd")))
    {
    }
    ~FakeTimesyncd() override
    {
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/timesync1"));
        m_bus.unregisterService(QStringLiteral("org.freedesktop.timesync1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-timesyncd"));
    }

    bool publish()
    {
        return m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/timesync1"), this)
            && m_bus.registerService(QStringLiteral("org.freedesktop.timesync1"));
    }

    QString introspect(const QString &) const override
    {
        return {};
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties") || message.member() != QLatin1String("GetAll")) {
            return false;
        }
        if (holdReplies) {
            held.append(message);
        } else {
            reply(message);
        }
        return true;
    }

    void reply(const QDBusMessage &call)
    {
        QDBusArgument serverAddress;
        serverAddress.beginStructure();
        serverAddress << qint32(family) << address;
        serverAddress.endStructure();

        // (uuuuittayttttbtt): leap, version, mode, stratum, precision, root
        // delay, root dispersion, reference ID, origin, receive, transmit,
        // destination, spike, packet count, jitter.
        const bool answered = destinationUsec != 0;
        QDBusArgument message;
        message.beginStructure();
        message << quint32(0) << quint32(answered ? 4 : 0) << quint32(answered ? 4 : 0) << quint32(answered ? 2 : 0) << qint32(answered ? -25 : 0)
                << quint64(1000) << quint64(2000) << QByteArray(4, answered ? 'x' : '\0') << quint64(destinationUsec ? destinationUsec - 900 : 0)
                << quint64(transmitUsec ? transmitUsec - 100 : 0) << transmitUsec << destinationUsec << false << quint64(answered ? 3 : 0) << quint64(0);
        message.endStructure();

        QVariantMap properties;
        properties.insert(QStringLiteral("ServerName"), serverName);
        properties.insert(QStringLiteral("ServerAddress"), QVariant::fromValue(serverAddress));
        properties.insert(QStringLiteral("NTPMessage"), QVariant::fromValue(message));
        properties.insert(QStringLiteral("PollIntervalUSec"), QVariant::fromValue(quint64(32000000)));
        m_bus.send(call.createReply(QVariant(properties)));
    }

    void releaseHeld()
    {
        for (const QDBusMessage &call : qAsConst(held)) {
            reply(call);
        }
        held.clear();
    }

private:
    QDBusConnection m_bus;
};

class LastSyncReaderTest : public QObject
{
    Q_OBJECT

private:
    // Asks once and checks that the answer came from the event loop.
    static LastSynchroInfo ask(LastSyncReader &reader, const QString &service, int timeoutMs = answerWait)
    {
        QSignalSpy received(&reader, &LastSyncReader::received);
        QSignalSpy timedOut(&reader, &LastSyncReader::timedOut);
        if (!reader.request(service, timeoutMs)) {
            qWarning("request refused");
            return {QStringLiteral("refused"), QStringLiteral("refused"), QStringLiteral("refused")};
        }
        if (!received.isEmpty() || !timedOut.isEmpty()) {
            qWarning("answered from inside the call");
            return {QStringLiteral("inside"), QStringLiteral("inside"), QStringLiteral("inside")};
        }
        if (!received.wait(timeoutMs + answerWait) || received.count() != 1 || !timedOut.isEmpty()) {
            qWarning("no single answer");
            return {QStringLiteral("none"), QStringLiteral("none"), QStringLiteral("none")};
        }
        return received.first().first().value<LastSynchroInfo>();
    }

    static quint64 usecSinceEpoch(const QDateTime &when)
    {
        return quint64(when.toMSecsSinceEpoch()) * 1000;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<LastSynchroInfo>();
        if (!insideSandbox()) {
            QFAIL("run inside the sandbox machine (sandbox/run.sh)");
        }
    }

    void nothingKnown_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("toolsMissing");
        QTest::newRow("none active") << QString() << false;
        QTest::newRow("unknown service") << QStringLiteral("ntpd") << false;
        QTest::newRow("timesyncd not on the bus") << QStringLiteral("systemd-timesyncd") << false;
        QTest::newRow("chronyc fails") << QStringLiteral("chrony") << false;
        QTest::newRow("ntpq missing") << QStringLiteral("ntpsec") << true;
        QTest::newRow("ntpctl missing") << QStringLiteral("openntpd") << true;
    }

    // An answer with an empty server, not a time-out.
    void nothingKnown()
    {
        QFETCH(QString, service);
        QFETCH(bool, toolsMissing);
        StandIns standIns;
        standIns.add(QStringLiteral("chronyc"), "echo '506 Cannot talk to daemon' >&2\nexit 1");
        if (toolsMissing) {
            standIns.hideOthers();
        }
        LastSyncReader reader;
        const LastSynchroInfo info = ask(reader, service);
        QCOMPARE(info.server, QString());
        QCOMPARE(info.date, QString());
        QCOMPARE(info.time, QString());
    }

    void readsTheOtherServicesTools()
    {
        StandIns standIns;
        standIns.addAnswering(QStringLiteral("ntpq"),
                              "associd=0 status=0615 leap_none, sync_ntp, 1 event, clock_sync,\n"
                              "leap=00, stratum=3, refid=192.0.2.10,\n"
                              "reftime=e25a6793.80000000 Mon, May  4 2020 10:06:11.500,");
        standIns.addAnswering(QStringLiteral("ntpctl"),
                              "peer\n   wt tl st  next  poll          offset       delay      jitter\n192.0.2.5 ntp.example.org\n"
                              " *  1 10  2   20s   32s        -0.105ms     1.102ms     0.218ms");
        LastSyncReader reader;
        QCOMPARE(ask(reader, QStringLiteral("ntpsec")).server, QStringLiteral("192.0.2.10"));
        const LastSynchroInfo openntpd = ask(reader, QStringLiteral("openntpd"));
        QCOMPARE(openntpd.server, QStringLiteral("ntp.example.org"));
        QVERIFY(!openntpd.date.isEmpty());
        QCOMPARE(standIns.log(QStringLiteral("ntpq")) + standIns.log(QStringLiteral("ntpctl")), QStringLiteral("-n -c rv\n-s peers\n"));
    }

    void timesyncdOverTheBus()
    {
        FakeTimesyncd timesyncd;
        QVERIFY(timesyncd.publish());
        LastSyncReader reader;
        const QDateTime when = QDateTime::currentDateTimeUtc().addSecs(-90);

        timesyncd.serverName = QStringLiteral("0.debian.pool.ntp.org");
        timesyncd.address = QByteArray::fromHex("c0000201");
        timesyncd.transmitUsec = usecSinceEpoch(when);
        timesyncd.destinationUsec = usecSinceEpoch(when) + 500;
        LastSynchroInfo info = ask(reader, QStringLiteral("systemd-timesyncd"));
        QCOMPARE(info.server, QStringLiteral("0.debian.pool.ntp.org"));
        QCOMPARE(info.date, QLocale().toString(when.toLocalTime().date(), QLocale::ShortFormat));
        QCOMPARE(info.time, QLocale().toString(when.toLocalTime().time(), QLocale::ShortFormat));

        // No name: the address it talks to.
        timesyncd.serverName.clear();
        QCOMPARE(ask(reader, QStringLiteral("systemd-timesyncd")).server, QStringLiteral("192.0.2.1"));
        timesyncd.family = AF_INET6;
        timesyncd.address = QByteArray::fromHex("20010db8000000000000000000000001");
        QCOMPARE(ask(reader, QStringLiteral("systemd-timesyncd")).server, QStringLiteral("2001:db8::1"));

        // A server is chosen but has not answered yet.
        timesyncd.serverName = QStringLiteral("ntp.example.org");
        timesyncd.transmitUsec = 0;
        timesyncd.destinationUsec = 0;
        info = ask(reader, QStringLiteral("systemd-timesyncd"));
        QCOMPARE(info.server, QString());
        QCOMPARE(info.date, QString());
    }

    void timeOutAndLateAnswerDropped()
    {
        FakeTimesyncd timesyncd;
        QVERIFY(timesyncd.publish());
        timesyncd.serverName = QStringLiteral("late.example.org");
        timesyncd.transmitUsec = usecSinceEpoch(QDateTime::currentDateTimeUtc());
        timesyncd.destinationUsec = timesyncd.transmitUsec;
        timesyncd.holdReplies = true;

        LastSyncReader reader;
        QSignalSpy received(&reader, &LastSyncReader::received);
        QSignalSpy timedOut(&reader, &LastSyncReader::timedOut);
        QVERIFY(reader.request(QStringLiteral("systemd-timesyncd"), 300));
        // One request at a time.
        QVERIFY(!reader.request(QStringLiteral("systemd-timesyncd"), 300));
        QCOMPARE(timedOut.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, answerWait);
        QVERIFY(!reader.isBusy());

        // The late answer goes out first; the bus keeps the order, so the
        // one answer received must be the next request's.
        QTRY_COMPARE(timesyncd.held.count(), 1);
        timesyncd.releaseHeld();
        timesyncd.holdReplies = false;
        timesyncd.serverName = QStringLiteral("next.example.org");
        QVERIFY(reader.request(QStringLiteral("systemd-timesyncd"), answerWait));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, answerWait);
        QCOMPARE(received.first().first().value<LastSynchroInfo>().server, QStringLiteral("next.example.org"));
        QCOMPARE(timedOut.count(), 1);
    }

    void timeOutKillsAHangingTool()
    {
        StandIns standIns;
        const QString pidFile = standIns.path() + QStringLiteral("/pid");
        standIns.add(QStringLiteral("chronyc"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
        LastSyncReader reader;
        QSignalSpy received(&reader, &LastSyncReader::received);
        QSignalSpy timedOut(&reader, &LastSyncReader::timedOut);
        QVERIFY(reader.request(QStringLiteral("chrony"), 300));
        QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, answerWait);
        QFile file(pidFile);
        QTRY_VERIFY(file.exists());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(::kill(pid, 0), -1, answerWait);
        QCOMPARE(received.count(), 0);
    }
};

QTEST_GUILESS_MAIN(LastSyncReaderTest)
#include "tst_lastsyncreader.moc"
