// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library against the sandbox machine: its systemd, a chronyd that
// synchronizes to a loopback server, a dpkg status and apt lists, and a
// recording stand-in for synaptic-pkexec. Outside the sandbox it skips.

#include "logiccontroller.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

static const QString timesyncd = QStringLiteral("systemd-timesyncd");
static const QString chrony = QStringLiteral("chrony");
static const QString units = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/systemd/user/");
static const QString statusFile = qEnvironmentVariable("ZELADMINTIME_SYSROOT") + QStringLiteral("/var/lib/dpkg/status");
static const QString synapticLog = qEnvironmentVariable("ZEL_SANDBOX") + QStringLiteral("/synaptic.log");
static QStringList warnings;

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// systemd as a second client sees it (the sandbox maps --user in its system mode).
static QString systemctl(const QString &command)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + command.split(QLatin1Char(' ')));
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

static QStringList names(const QMap<PackageIndex, AbstractServiceClass *> &map)
{
    QStringList result;
    for (AbstractServiceClass *service : map) {
        result.append(QString(service->getServiceName()));
    }
    return result;
}

class ControllerTest : public QObject
{
    Q_OBJECT

    QByteArray m_status;
    std::unique_ptr<LogicController> m_controller;

    void select(const QString &name)
    {
        m_controller->setCurrentSelectedService(names(m_controller->getInstalledServicesMap()).indexOf(name));
    }
    static void writeDropIn(const char *dropIn)
    {
        QVERIFY(writeFile(units + QStringLiteral("systemd-timesyncd.service.d/test.conf"), dropIn));
        systemctl(QStringLiteral("daemon-reload"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("ZEL_SANDBOX")) {
            QSKIP("runs only inside the sandbox machine (sandbox/run.sh)");
        }
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            warnings.append(type == QtWarningMsg ? message : QString());
        });
        m_status = readFile(statusFile);
    }

    // Each case starts from the machine as the sandbox made it. Without
    // systemd (or with a hung one) only the cases named for that run.
    void init()
    {
        const bool withoutSystemd = qEnvironmentVariableIsSet("ZEL_EXPECT_NO_SYSTEMD") || qEnvironmentVariableIsSet("ZEL_EXPECT_HUNG_SYSTEMD");
        if (withoutSystemd != QByteArray(QTest::currentTestFunction()).startsWith("systemd")) {
            QSKIP("not for this machine");
        }
        if (!withoutSystemd) {
            QDir(units + QStringLiteral("systemd-timesyncd.service.d")).removeRecursively();
            const QString all = QStringLiteral(" systemd-timesyncd.service chrony.service ntpsec.service openntpd.service");
            systemctl(QStringLiteral("daemon-reload"));
            systemctl(QStringLiteral("stop") + all);
            systemctl(QStringLiteral("disable") + all);
            systemctl(QStringLiteral("reset-failed"));
            QVERIFY(writeFile(statusFile, m_status));
            m_controller = std::make_unique<LogicController>(true);
        }
        QFile::remove(synapticLog);
        warnings.clear();
    }
    void cleanup()
    {
        m_controller.reset();
    }

    // Run with the sandbox's two services, with chrony alone and with none.
    void listing()
    {
        const QStringList catalog{timesyncd, chrony, QStringLiteral("ntpsec"), QStringLiteral("openntpd")};
        const QStringList expected = qEnvironmentVariableIsSet("ZEL_EXPECT_SERVICES")
            ? qEnvironmentVariable("ZEL_EXPECT_SERVICES").split(QLatin1Char(' '), Qt::SkipEmptyParts)
            : catalog.mid(0, 2);
        QVERIFY(m_controller->getSysAlive());
        QCOMPARE(names(m_controller->getInstalledServicesMap()), expected);
        QStringList notInstalled = catalog;
        for (const QString &name : expected) {
            notInstalled.removeOne(name);
        }
        QCOMPARE(m_controller->getNotInstalledServicesNames(), notInstalled);
        m_controller->setCurrentSelectedService(expected.size());
        QCOMPARE(m_controller->getCurrentServiceState(), NoInstalledService);
    }

    // Start, stop and start at boot as the window does them are its own
    // sandbox test's; here what the window does not see directly.
    void followsSystemd()
    {
        select(chrony);
        m_controller->startServiceByDbus(chrony);
        QCOMPARE(m_controller->getActiveServiceName(), chrony); // at once, no signal awaited
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->getCurrentServiceState(), ServiceSynchronized, 60000);
        const QString pid = systemctl(QStringLiteral("show -p MainPID chrony.service"));
        m_controller->restartServiceByDbus(chrony);
        QVERIFY(m_controller->getStartResult().isEmpty() && systemctl(QStringLiteral("show -p MainPID chrony.service")) != pid);
        // Changed behind the library's back: it follows systemd's signals.
        systemctl(QStringLiteral("enable chrony.service"));
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->getCurrentServiceEnabling(), 1, 30000);
        select(timesyncd);
        QVERIFY(!m_controller->isServiceConflicting()); // both provide time-daemon
        systemctl(QStringLiteral("stop chrony.service"));
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->isServiceConflicting(), 30000);

        writeDropIn("[Service]\nType=oneshot\nExecStart=\nExecStart=/bin/false\n");
        m_controller->startServiceByDbus(timesyncd);
        const QString failed = m_controller->getStartResult();
        QVERIFY2(failed.contains(timesyncd) && failed.contains(QLatin1String("exit-code")), qPrintable(failed));
        writeDropIn("");
        m_controller->startServiceByDbus(timesyncd);
        QCOMPARE(m_controller->getStartResult(), QString()); // a success clears it
    }

    void packageManager()
    {
        m_controller->setMainWindowId(4242);
        QVERIFY(m_controller->tryToInstallService(QStringLiteral("ntpsec")));
        const QRegularExpression call(QStringLiteral("^--hide-main-window --non-interactive --parent-window-id 4242 --set-selections-file (\\S+)\n"));
        const QRegularExpressionMatch match = call.match(QString::fromUtf8(readFile(synapticLog)));
        QVERIFY2(match.hasMatch() && !QFile::exists(match.captured(1)), qPrintable(QString::fromUtf8(readFile(synapticLog))));
        QVERIFY(!m_controller->getNotInstalledServicesNames().contains(QStringLiteral("ntpsec"))); // before any reload
        // Authorization cancelled, apt failed: false, and the log says why.
        for (const char *code : {"126", "100"}) {
            qputenv("ZEL_SYNAPTIC_EXIT", code);
            const bool installed = m_controller->tryToInstallService(chrony);
            qunsetenv("ZEL_SYNAPTIC_EXIT");
            QVERIFY2(!installed && !warnings.filter(QLatin1String(code)).isEmpty(), code);
        }
        m_controller->setCurrentSelectedService(-1);
        QVERIFY(!m_controller->tryToUninstallCurrentService());
        QVERIFY(!m_controller->tryToInstallService(QString()));
    }

    // A command waits for systemd in a nested event loop: the window's poll,
    // a reload and a second command may all run meanwhile, and the window
    // may even delete the controller.
    void nestedCommands()
    {
        writeDropIn("[Service]\nExecStartPre=/bin/sleep 1\n");
        select(timesyncd);
        int ticks = 0;
        bool innerDone = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            m_controller->reloadSystemState();
            m_controller->getCurrentServiceState();
            m_controller->isServiceConflicting();
            if (++ticks == 3) {
                m_controller->startServiceByDbus(chrony);
                innerDone = m_controller->getStartResult().isEmpty();
            }
        });
        poll.start(50);
        m_controller->startServiceByDbus(timesyncd);
        poll.stop();
        QCOMPARE(m_controller->getStartResult(), QString());
        QVERIFY(innerDone);
        QCOMPARE(systemctl(QStringLiteral("is-active systemd-timesyncd.service chrony.service")), QStringLiteral("active\nactive"));

        systemctl(QStringLiteral("stop systemd-timesyncd.service"));
        QPointer<LogicController> watched(m_controller.get());
        QTimer::singleShot(200, this, [this] {
            m_controller.reset();
        });
        watched->startServiceByDbus(timesyncd);
        QVERIFY(!watched);
        QTRY_COMPARE_WITH_TIMEOUT(systemctl(QStringLiteral("is-active systemd-timesyncd.service")), QStringLiteral("active"), 30000);
    }

    // Run with a manager that owns its name and answers nothing.
    void systemdHung()
    {
        if (!qEnvironmentVariableIsSet("ZEL_EXPECT_HUNG_SYSTEMD")) {
            QSKIP("needs a hung systemd");
        }
        const QString pid = qEnvironmentVariable("ZEL_SYSTEMD_PID");
        LogicController hung(true);
        QSignalSpy unavailable(&hung, &LogicController::loginctlUnavailable);
        QVERIFY(!hung.getSysAlive());
        QCOMPARE(unavailable.count(), 1);
        // Answering again, then hung while the window is open.
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), pid}), 0);
        hung.startServiceByDbus(timesyncd);
        QCOMPARE(hung.getStartResult(), QString());
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-STOP"), pid}), 0);
        hung.restartServiceByDbus(timesyncd);
        QVERIFY2(hung.getStartResult().contains(QLatin1String("does not answer")), qPrintable(hung.getStartResult()));
    }

    // Run without systemd on the bus, and with a bus address naming no socket.
    void systemdAbsent()
    {
        if (!qEnvironmentVariableIsSet("ZEL_EXPECT_NO_SYSTEMD")) {
            QSKIP("needs a machine without systemd");
        }
        LogicController absent(true);
        QSignalSpy unavailable(&absent, &LogicController::loginctlUnavailable);
        QVERIFY(!absent.getSysAlive());
        QCOMPARE(names(absent.getInstalledServicesMap()), (QStringList{timesyncd, chrony})); // the packages tell
        absent.setCurrentSelectedService(1);
        QCOMPARE(absent.getCurrentServiceState(), ServiceNotActive);
        absent.startServiceByDbus(chrony);
        QVERIFY2(absent.getStartResult().contains(QLatin1String("systemd")), qPrintable(absent.getStartResult()));
        absent.stopServiceByDbus(chrony);
        absent.enableServiceByDbus(chrony);
        absent.reloadSystemState();
        QVERIFY(!absent.getSysAlive());
        QCOMPARE(unavailable.count(), 2);
    }
};

QTEST_GUILESS_MAIN(ControllerTest)

#include "tst_controller.moc"
