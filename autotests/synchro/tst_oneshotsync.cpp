// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sandboxtools.h"
#include "synchro/oneshotsync.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <signal.h>

// Generous: ntpdig is a Python program, and the machine is shared.
static constexpr int answerWait = 60000;

class OneShotSyncTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!insideSandbox()) {
            QFAIL("run inside the sandbox machine (sandbox/run.sh): outside it ntpdig would set the clock");
        }
    }

    void syncsAgainstLoopbackServer()
    {
        OneShotSync sync;
        sync.setUsePkexec(false);
        QSignalSpy ok(&sync, &OneShotSync::succeeded);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        QVERIFY(sync.start(QStringLiteral("127.0.0.1")));
        // Never from inside the call.
        QCOMPARE(ok.count() + failed.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, answerWait);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
    }

    void runsThroughPkexecWhenNotRoot()
    {
        StandIns standIns;
        standIns.addRecorder(QStringLiteral("pkexec"), true);
        OneShotSync sync;
        sync.setUsePkexec(true);
        QSignalSpy ok(&sync, &OneShotSync::succeeded);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        QVERIFY(sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, answerWait);
        QCOMPARE(ok.count(), 1);
        // The absolute path: pkexec runs programs with a clean environment.
        const QString ntpdig = QStandardPaths::findExecutable(QStringLiteral("ntpdig"));
        QCOMPARE(standIns.log(QStringLiteral("pkexec")), ntpdig + QStringLiteral(" -S -t 5 -- 127.0.0.1\n"));
    }

    void reportsNtpdigsOwnMessage()
    {
        OneShotSync sync;
        sync.setUsePkexec(false);
        sync.setRequestTimeout(1);
        QSignalSpy ok(&sync, &OneShotSync::succeeded);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        // Nothing listens on 127.0.0.2.
        QVERIFY(sync.start(QStringLiteral("127.0.0.2")));
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, answerWait);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), QStringLiteral("ntpdig: no eligible servers"));
    }

    void refusesMalformedAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << QString();
        QTest::newRow("blank") << QStringLiteral(" ");
        QTest::newRow("inner blank") << QStringLiteral("a b");
        QTest::newRow("command") << QStringLiteral("x;rm");
        QTest::newRow("option") << QStringLiteral("-S");
        QTest::newRow("bad ipv6") << QStringLiteral("::1::2");
        QTest::newRow("substitution") << QStringLiteral("$(reboot)");
        QTest::newRow("line break") << QStringLiteral("a.org\n-S");
        QTest::newRow("padded") << QStringLiteral(" 127.0.0.1");
    }

    void refusesMalformedAddresses()
    {
        QFETCH(QString, address);
        StandIns standIns;
        standIns.addRecorder(QStringLiteral("ntpdig"), false);
        standIns.addRecorder(QStringLiteral("pkexec"), false);
        for (bool viaPkexec : {false, true}) {
            OneShotSync sync;
            sync.setUsePkexec(viaPkexec);
            QSignalSpy ok(&sync, &OneShotSync::succeeded);
            QSignalSpy failed(&sync, &OneShotSync::failed);
            QVERIFY(!sync.start(address));
            QCOMPARE(failed.count(), 0);
            QTRY_COMPARE(failed.count(), 1);
            QVERIFY(!failed.first().first().toString().isEmpty());
            QCOMPARE(ok.count(), 0);
            QVERIFY(sync.findChildren<QProcess *>().isEmpty());
        }
        QVERIFY(!QFile::exists(standIns.logPath(QStringLiteral("ntpdig"))));
        QVERIFY(!QFile::exists(standIns.logPath(QStringLiteral("pkexec"))));
    }

    void saysWhenNtpdigIsMissing()
    {
        StandIns standIns;
        standIns.hideOthers();
        OneShotSync sync;
        sync.setUsePkexec(false);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        QVERIFY(sync.start(QStringLiteral("127.0.0.1")));
        QCOMPARE(failed.count(), 0);
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(failed.first().first().toString().contains(QLatin1String("ntpsec-ntpdig")));
    }

    void stopsAtTheTimeLimit()
    {
        StandIns standIns;
        // Hangs, then would claim success: only the limit may answer.
        const QString pidFile = standIns.path() + QStringLiteral("/pid");
        standIns.add(QStringLiteral("ntpdig"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
        OneShotSync sync;
        sync.setUsePkexec(false);
        sync.setTimeLimit(500);
        QSignalSpy ok(&sync, &OneShotSync::succeeded);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        QVERIFY(sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, answerWait);
        // The run is killed and goes away without a second answer.
        QTRY_VERIFY_WITH_TIMEOUT(sync.findChildren<QProcess *>().isEmpty(), answerWait);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(ok.count(), 0);
    }

    void answersEachOfSeveralRuns()
    {
        OneShotSync sync;
        sync.setUsePkexec(false);
        sync.setRequestTimeout(1);
        QSignalSpy ok(&sync, &OneShotSync::succeeded);
        QSignalSpy failed(&sync, &OneShotSync::failed);
        QVERIFY(sync.start(QStringLiteral("127.0.0.2")));
        QVERIFY(sync.start(QStringLiteral("127.0.0.1")));
        QVERIFY(!sync.start(QStringLiteral("x;rm")));
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 3, answerWait);
        QCOMPARE(ok.count(), 1);
        QCOMPARE(failed.count(), 2);
    }
};

QTEST_GUILESS_MAIN(OneShotSyncTest)
#include "tst_oneshotsync.moc"
