// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sandboxtools.h"
#include "synchro/oneshotsync.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <signal.h>

// Generous: ntpdig is a Python program, and the machine is shared.
static constexpr int answerWait = 60000;

// One OneShotSync with its answers recorded.
struct Run {
    explicit Run(bool viaPkexec = false)
    {
        sync.setUsePkexec(viaPkexec);
    }
    int answers() const
    {
        return ok.count() + failed.count();
    }
    OneShotSync sync;
    QSignalSpy ok{&sync, &OneShotSync::succeeded};
    QSignalSpy failed{&sync, &OneShotSync::failed};
};

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

    void runsThroughPkexecWhenNotRoot()
    {
        StandIns standIns;
        standIns.addRecorder(QStringLiteral("pkexec"), true);
        // A user's own ntpdig would run as root.
        standIns.addInPath(QStringLiteral("ntpdig"), "exit 1");
        Run run(true);
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(run.answers(), 1, answerWait);
        QCOMPARE(run.ok.count(), 1);
        QVERIFY(standIns.log(QStringLiteral("pkexec")).endsWith(QLatin1String(" -S -t 5 -- 127.0.0.1\n")));
    }

    // Once authorized, pkexec's program runs as root and the module may not
    // signal it; closing the window must end it all the same. The stand-in
    // pkexec keeps its program out of reach of the signals it gets.
    void closingEndsThePrivilegedRun()
    {
        StandIns standIns;
        const QString pidFile = standIns.path() + QStringLiteral("/pid");
        standIns.add(QStringLiteral("ntpdig"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
        standIns.add(QStringLiteral("pkexec"), "exec 3<&0\nsetsid \"$@\" <&3 3<&- &\nwait");
        auto run = std::make_unique<Run>(true);
        QVERIFY(run->sync.start(QStringLiteral("127.0.0.1")));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, answerWait);
        run.reset();
        QFile file(pidFile);
        const pid_t pid = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 0;
        QVERIFY(pid > 0);
        QTRY_COMPARE_WITH_TIMEOUT(::kill(pid, 0), -1, answerWait);
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
        QTest::newRow("final line break") << QStringLiteral("pool.ntp.org\n");
    }

    void refusesMalformedAddresses()
    {
        QFETCH(QString, address);
        StandIns standIns;
        standIns.addRecorder(QStringLiteral("ntpdig"), false);
        standIns.addRecorder(QStringLiteral("pkexec"), false);
        for (bool viaPkexec : {false, true}) {
            Run run(viaPkexec);
            QVERIFY(!run.sync.start(address));
            QCOMPARE(run.answers(), 0);
            QTRY_COMPARE(run.failed.count(), 1);
            QVERIFY(!run.failed.first().first().toString().isEmpty());
            QCOMPARE(run.ok.count(), 0);
            QVERIFY(run.sync.findChildren<QProcess *>().isEmpty());
        }
        QVERIFY(!QFile::exists(standIns.logPath(QStringLiteral("ntpdig"))));
        QVERIFY(!QFile::exists(standIns.logPath(QStringLiteral("pkexec"))));
    }

    void saysWhenNtpdigIsMissing()
    {
        StandIns standIns;
        standIns.hideOthers();
        Run run;
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QCOMPARE(run.answers(), 0);
        QTRY_COMPARE(run.failed.count(), 1);
        QVERIFY(run.failed.first().first().toString().contains(QLatin1String("ntpsec-ntpdig")));
    }

    void stopsAtTheTimeLimit()
    {
        StandIns standIns;
        // Hangs, then would claim success: only the limit may answer.
        const QString pidFile = standIns.path() + QStringLiteral("/pid");
        standIns.add(QStringLiteral("ntpdig"), "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
        Run run;
        run.sync.setTimeLimit(500);
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(run.failed.count(), 1, answerWait);
        // The run is killed and goes away without a second answer.
        QTRY_VERIFY_WITH_TIMEOUT(run.sync.findChildren<QProcess *>().isEmpty(), answerWait);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const pid_t pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(run.answers(), 1);
    }

    void answersEachOfSeveralRuns()
    {
        // The loopback server answers, nothing listens on 127.0.0.2; never
        // an answer from inside the call. Not an ntpdig found in PATH.
        StandIns standIns;
        standIns.addInPath(QStringLiteral("ntpdig"), "exit 1");
        Run run;
        run.sync.setRequestTimeout(1);
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.2")));
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QVERIFY(!run.sync.start(QStringLiteral("x;rm")));
        QCOMPARE(run.answers(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(run.answers(), 3, answerWait);
        QCOMPARE(run.ok.count(), 1);
        QVERIFY(run.failed.value(0).value(0).toString() == QLatin1String("ntpdig: no eligible servers")
                || run.failed.value(1).value(0).toString() == QLatin1String("ntpdig: no eligible servers"));
    }
};

QTEST_GUILESS_MAIN(OneShotSyncTest)
#include "tst_oneshotsync.moc"
