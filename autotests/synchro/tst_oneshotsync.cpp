// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The one-off synchronization inside the sandbox machine, where ntpdig cannot
// set the clock: its programs by their fixed paths, its refusals, its limits.

#include "common/programs.h"
#include "synchro/oneshotsync.h"
#include "testhelpers.h"

#include <QProcess>
#include <QSignalSpy>

#include <memory>

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
        QVERIFY2(TestHelpers::insideSandbox(), "run inside the sandbox machine (sandbox/run.sh): outside it ntpdig would set the clock");
    }

    // Through pkexec when not root; never a user's own ntpdig in PATH.
    void runsThroughPkexec()
    {
        StandIns standIns;
        standIns.add(Programs::pkexec(), StandIns::passOn(Programs::pkexec()));
        standIns.addInPath(QStringLiteral("ntpdig"), "exit 1");
        Run run(true);
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(run.answers(), 1, answerWait);
        QCOMPARE(run.ok.count(), 1);
        QVERIFY2(standIns.log().endsWith(QLatin1String(" -S -t 5 -- 127.0.0.1\n")), qPrintable(standIns.log()));
    }

    // pkexec's program runs as root and the module may not signal it; closing
    // the window ends it all the same. The stand-in pkexec keeps its program
    // out of reach of the signals it gets.
    void closingEndsThePrivilegedRun()
    {
        StandIns standIns;
        standIns.add(Programs::ntpdig(), standIns.hang());
        standIns.add(Programs::pkexec(), "exec 3<&0\nsetsid \"$@\" <&3 3<&- &\nwait");
        auto run = std::make_unique<Run>(true);
        QVERIFY(run->sync.start(QStringLiteral("127.0.0.1")));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(standIns.pidFile()).size() > 0, answerWait);
        run.reset();
        QVERIFY(standIns.hungOneEnds());
    }

    void refusesMalformedAddresses_data()
    {
        QTest::addColumn<QString>("address");
        for (const char *address : {"", " ", "a b", "x;rm", "-S", "::1::2", "$(reboot)", "a.org\n-S", " 127.0.0.1", "pool.ntp.org\n"}) {
            QTest::newRow(QByteArray(address).toPercentEncoding().constData()) << QString::fromLatin1(address);
        }
    }

    // Said from the event loop, and no program ever started.
    void refusesMalformedAddresses()
    {
        QFETCH(QString, address);
        StandIns standIns;
        standIns.add(Programs::ntpdig(), "");
        standIns.add(Programs::pkexec(), "");
        for (bool viaPkexec : {false, true}) {
            Run run(viaPkexec);
            QVERIFY(!run.sync.start(address));
            QCOMPARE(run.answers(), 0);
            QTRY_COMPARE(run.failed.count(), 1);
            QVERIFY(!run.failed.first().first().toString().isEmpty());
            QVERIFY(run.sync.findChildren<QProcess *>().isEmpty());
        }
        QCOMPARE(standIns.log(), QString());
    }

    void saysWhenNtpdigIsMissing()
    {
        StandIns standIns;
        standIns.hideOthers();
        Run run;
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE(run.failed.count(), 1);
        QVERIFY(run.failed.first().first().toString().contains(QLatin1String("ntpsec-ntpdig")));
    }

    // Run as root, a hanging ntpdig that would then claim success: only the
    // limit answers, and the run is killed. Through pkexec, as the desktop
    // user, a password typed slowly does not count against the limit.
    void timeLimit_data()
    {
        QTest::addColumn<bool>("viaPkexec");
        QTest::newRow("root, ntpdig hangs") << false;
        QTest::newRow("desktop user, slow password") << true;
    }
    void timeLimit()
    {
        QFETCH(bool, viaPkexec);
        StandIns standIns;
        standIns.add(viaPkexec ? Programs::pkexec() : Programs::ntpdig(), viaPkexec ? "sleep 3\n" + StandIns::passOn(Programs::pkexec()) : standIns.hang());
        Run run(viaPkexec);
        run.sync.setTimeLimit(500);
        QVERIFY(run.sync.start(QStringLiteral("127.0.0.1")));
        QTRY_COMPARE_WITH_TIMEOUT(run.answers(), 1, answerWait);
        QCOMPARE(run.ok.count(), viaPkexec ? 1 : 0);
        QVERIFY(viaPkexec || standIns.hungOneEnds());
        QTRY_VERIFY_WITH_TIMEOUT(run.sync.findChildren<QProcess *>().isEmpty(), answerWait);
        QCOMPARE(run.answers(), 1);
    }
};

QTEST_GUILESS_MAIN(OneShotSyncTest)
#include "tst_oneshotsync.moc"
