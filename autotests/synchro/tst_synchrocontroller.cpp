// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The controller's one-off synchronization and last-synchronization info, as
// the window uses them, inside the sandbox machine (chrony and timesyncd
// installed; chrony.conf names the loopback server).

#include "logiccontroller.h"
#include "sandboxtools.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LastSynchroInfo)

static constexpr int answerWait = 60000;

class SynchroControllerTest : public QObject
{
    Q_OBJECT

private:
    static bool chronyIsSynchronized()
    {
        QProcess chronyc;
        chronyc.start(QStringLiteral("chronyc"), {QStringLiteral("-c"), QStringLiteral("tracking")});
        return chronyc.waitForFinished(10000) && chronyc.exitCode() == 0 && chronyc.readAllStandardOutput().trimmed().endsWith(",Normal");
    }

    static int systemctl(const QString &verb)
    {
        return QProcess::execute(QStringLiteral("systemctl"), {QStringLiteral("--user"), verb, QStringLiteral("chrony.service")});
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
        if (!insideSandbox()) {
            QFAIL("run inside the sandbox machine (sandbox/run.sh)");
        }
    }

    void serverListAndSyncNow()
    {
        LogicController controller(true);
        const QStringList pool{QStringLiteral("0.debian.pool.ntp.org"),
                               QStringLiteral("1.debian.pool.ntp.org"),
                               QStringLiteral("2.debian.pool.ntp.org"),
                               QStringLiteral("3.debian.pool.ntp.org")};
        // chrony.conf's server first; timesyncd.conf names none.
        QCOMPARE(controller.getListServersToSync(), QStringList{QStringLiteral("127.0.0.1")} + pool);

        QCOMPARE(syncNow(controller, QStringLiteral("127.0.0.1")), QStringLiteral("OK"));
        QCOMPARE(syncNow(controller, QStringLiteral("127.0.0.2")), QStringLiteral("ntpdig: no eligible servers"));
        for (const QString &bad :
             {QString(), QStringLiteral(" "), QStringLiteral("a b"), QStringLiteral("x;rm"), QStringLiteral("-S"), QStringLiteral("::1::2")}) {
            const QString message = syncNow(controller, bad);
            QVERIFY(message != QLatin1String("OK") && !message.isEmpty());
        }
        // Used addresses follow the configured ones, most recent first, each once.
        QCOMPARE(controller.getListServersToSync(), QStringList({QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}) + pool);
    }

    void lastSynchronizationOfChrony()
    {
        QCOMPARE(systemctl(QStringLiteral("start")), 0);
        QTRY_VERIFY_WITH_TIMEOUT(chronyIsSynchronized(), answerWait);
        LogicController controller(true);
        QCOMPARE(controller.getActiveServiceName(), QStringLiteral("chrony"));

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

QTEST_GUILESS_MAIN(SynchroControllerTest)
#include "tst_synchrocontroller.moc"
