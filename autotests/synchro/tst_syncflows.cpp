// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The controller's server list, one-off synchronization and last-sync info,
// as the window uses them, inside the sandbox machine (chrony and timesyncd
// installed; chrony.conf names the loopback server).

#include "common/programs.h"
#include "logiccontroller.h"
#include "synchro/syncservers.h"
#include "testhelpers.h"

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LastSynchroInfo)

static constexpr int answerWait = 60000;

class SyncFlowsTest : public QObject
{
    Q_OBJECT

private:
    static bool chronyIsSynchronized()
    {
        QProcess chronyc;
        chronyc.start(Programs::chronyc(), {QStringLiteral("-c"), QStringLiteral("tracking")});
        return chronyc.waitForFinished(10000) && chronyc.exitCode() == 0 && chronyc.readAllStandardOutput().trimmed().endsWith(",Normal");
    }

    static int systemctl(const QString &verb)
    {
        const QStringList manager = qgetenv("ZEL_SANDBOX_MODE") == "system" ? QStringList() : QStringList{QStringLiteral("--user")};
        return QProcess::execute(QStringLiteral("systemctl"), manager + QStringList{verb, QStringLiteral("chrony.service")});
    }

    // Runs one sync now and returns the error text, or "OK".
    static QString syncNow(LogicController &controller, const QString &address)
    {
        QSignalSpy ok(&controller, &LogicController::syncOK);
        QSignalSpy error(&controller, &LogicController::syncError);
        controller.saveAddrAndSyncNow(address);
        if (ok.count() + error.count() != 0) {
            return QStringLiteral("answered from inside the call");
        }
        if (!QTest::qWaitFor(
                [&] {
                    return ok.count() + error.count() > 0;
                },
                answerWait)) {
            return QStringLiteral("no answer");
        }
        return ok.count() == 1 ? QStringLiteral("OK") : error.value(0).value(0).toString();
    }

    // Lookups go to a loopback port whose socket never answers, and /etc/hosts
    // is empty: every lookup waits. In the sandbox's own namespaces only.
    static int stallResolver()
    {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {AF_INET, htons(53), {htonl(0x7f000035)}, {}}; // 127.0.0.53
        const QString script = QStringLiteral(
            "printf 'nameserver 127.0.0.53\\noptions timeout:30\\n' > \"$ZEL_SANDBOX/resolv\" && : > \"$ZEL_SANDBOX/hosts\" && "
            "mount --bind \"$ZEL_SANDBOX/resolv\" /etc/resolv.conf && mount --bind \"$ZEL_SANDBOX/hosts\" /etc/hosts");
        const bool stalled = bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script}) == 0;
        return stalled ? fd : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<LastSynchroInfo>();
        QVERIFY2(TestHelpers::insideSandbox(), "run inside the sandbox machine (sandbox/run.sh)");
    }

    // Nothing malformed reaches the list: not from the files, not from a
    // caller, not from a settings file edited by hand. Names compare without
    // case or a trailing dot; the history is bounded.
    void serverHistory()
    {
        // Split at commas: the empty string and a blank come first.
        const QStringList junk = QStringLiteral(", ,a b,x;rm,-S,::1::2,256.1.1.1,host/name").split(QLatin1Char(','));
        QCOMPARE(SyncServers::merged(junk + QStringList{QStringLiteral("2.debian.pool.ntp.org")}, junk + QStringList{QStringLiteral("0.Debian.pool.ntp.org.")}),
                 QStringLiteral("2.debian.pool.ntp.org 0.Debian.pool.ntp.org. 1.debian.pool.ntp.org 3.debian.pool.ntp.org").split(QLatin1Char(' ')));
        for (const QString &bad : junk) {
            SyncServers::remember(bad);
        }
        for (int i = 0; i <= SyncServers::HistorySize; ++i) {
            SyncServers::remember(QStringLiteral("s%1.example.org").arg(i));
        }
        const QStringList history = SyncServers::history();
        QCOMPARE(history.size(), SyncServers::HistorySize);
        QCOMPARE(history.first(), QStringLiteral("s%1.example.org").arg(SyncServers::HistorySize));
        QSettings(QStringLiteral("kcm_zel_admin_time"), QStringLiteral("synchro"))
            .setValue(QStringLiteral("recentServers"), junk + QStringList{QStringLiteral("A.example.org"), QStringLiteral("a.EXAMPLE.org")});
        QCOMPARE(SyncServers::history(), QStringList{QStringLiteral("A.example.org")});
        QSettings(QStringLiteral("kcm_zel_admin_time"), QStringLiteral("synchro")).remove(QStringLiteral("recentServers"));
    }

    void serverListAndSyncNow()
    {
        LogicController controller(true);
        const QStringList pool =
            QStringLiteral("0.debian.pool.ntp.org 1.debian.pool.ntp.org 2.debian.pool.ntp.org 3.debian.pool.ntp.org").split(QLatin1Char(' '));
        // chrony.conf's server first; timesyncd.conf names none.
        QCOMPARE(controller.getListServersToSync(), QStringList{QStringLiteral("127.0.0.1")} + pool);

        QCOMPARE(syncNow(controller, QStringLiteral("127.0.0.1")), QStringLiteral("OK"));
        QCOMPARE(syncNow(controller, QStringLiteral("127.0.0.2")), QStringLiteral("ntpdig: no eligible servers"));
        for (const QString &bad : QStringLiteral(", ,a b,x;rm,-S,::1::2").split(QLatin1Char(','))) {
            const QString message = syncNow(controller, bad);
            QVERIFY2(message != QLatin1String("OK"), qPrintable(bad));
            QVERIFY2(!message.isEmpty(), qPrintable(bad));
        }
        // Used addresses follow the configured ones, most recent first, each once.
        QCOMPARE(controller.getListServersToSync(), QStringList({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}) + pool);
    }

    void lastSynchronizationOfChrony()
    {
        QCOMPARE(systemctl(QStringLiteral("start")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(chronyIsSynchronized(), answerWait);
        // A server that never answers, configured first: the one chrony
        // follows is offered before it all the same.
        QFile timesyncdConf(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + QStringLiteral("/etc/systemd/timesyncd.conf"));
        const qint64 stock = timesyncdConf.size();
        QVERIFY(timesyncdConf.open(QIODevice::Append));
        QVERIFY(timesyncdConf.write("NTP=192.0.2.1\n") > 0);
        timesyncdConf.close();
        LogicController controller(true);
        QVERIFY(timesyncdConf.resize(stock));
        QCOMPARE(controller.getActiveServiceName(), QStringLiteral("chrony"));
        QCOMPARE(controller.getListServersToSync().mid(0, 2), QStringList({QStringLiteral("127.0.0.1"), QStringLiteral("192.0.2.1")}));

        // A resolver that never answers must not hold up the answer.
        const int resolver = stallResolver();
        QVERIFY(resolver >= 0);
        QSignalSpy received(&controller, &LogicController::lastSynchroInfoReceived);
        QSignalSpy timedOut(&controller, &LogicController::lastSynchroInfoTimeout);
        controller.getLastSynchroInfoAsync(5000);
        QCOMPARE(received.count() + timedOut.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, answerWait);
        const auto info = received.first().first().value<LastSynchroInfo>();
        QCOMPARE(info.server, QStringLiteral("127.0.0.1"));
        // Seconds ago, in the user's locale: today, or yesterday just after midnight.
        const QDate today = QDate::currentDate();
        QVERIFY2(info.date == QLocale().toString(today, QLocale::ShortFormat) || info.date == QLocale().toString(today.addDays(-1), QLocale::ShortFormat),
                 qPrintable(info.date));
        QVERIFY(!info.time.isEmpty());
        QCOMPARE(timedOut.count(), 0);

        // Once chrony has stopped nothing is active, and nothing is known.
        QCOMPARE(systemctl(QStringLiteral("stop")), 0);
        controller.reloadSystemState();
        QCOMPARE(controller.getActiveServiceName(), QString());
        controller.getLastSynchroInfoAsync(5000);
        QCOMPARE(received.count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, answerWait);
        QCOMPARE(received.last().first().value<LastSynchroInfo>().server, QString());
        QCOMPARE(timedOut.count(), 0);
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("/etc/resolv.conf"), QStringLiteral("/etc/hosts")});
        close(resolver);
    }
};

QTEST_GUILESS_MAIN(SyncFlowsTest)
#include "tst_syncflows.moc"
