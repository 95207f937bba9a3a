// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library against the sandbox machine: a real systemd manager, a
// real chronyd synchronizing to a loopback server, a dpkg status and apt lists,
// and a recording stand-in for synaptic-pkexec. Outside the sandbox every
// case skips: nothing here may touch the machine the tests run on.

#include "logiccontroller.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>

#include <sys/timex.h>

static const QString timesyncd = QStringLiteral("systemd-timesyncd");
static const QString chrony = QStringLiteral("chrony");
static const QByteArray allUnits = "systemd-timesyncd.service chrony.service ntpsec.service openntpd.service";

static QString sandboxPath(const char *variable, const char *relative)
{
    return qEnvironmentVariable(variable) + QLatin1Char('/') + QLatin1String(relative);
}

static QString unitDir()
{
    return sandboxPath("XDG_CONFIG_HOME", "systemd/user/");
}

static QString statusFile()
{
    return sandboxPath("ZELADMINTIME_SYSROOT", "var/lib/dpkg/status");
}

static QString chronyConf()
{
    return sandboxPath("ZELADMINTIME_SYSROOT", "etc/chrony/chrony.conf");
}

static QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

static bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// systemd as a second client sees it, not through the library.
static QString systemctl(const QByteArray &command)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + QString::fromLatin1(command).split(QLatin1Char(' ')));
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Takes a unit file out of systemd's sight, or puts it back.
static bool hideUnit(const char *unit, bool hide)
{
    const QString path = unitDir() + QLatin1String(unit);
    const QString away = path + QStringLiteral(".away");
    const bool moved = hide ? QFile::rename(path, away) : QFile::rename(away, path);
    systemctl("daemon-reload");
    return moved;
}

static QString chronycLeap()
{
    QProcess process;
    process.start(QStringLiteral("chronyc"), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("tracking")});
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed().section(QLatin1Char(','), -1);
}

static QStringList names(const QMap<PackageIndex, AbstractServiceClass *> &map)
{
    QStringList result;
    for (AbstractServiceClass *service : map) {
        result.append(service ? QString(service->getServiceName()) : QStringLiteral("<null>"));
    }
    return result;
}

// timesyncd's status object as systemd-timesyncd puts it on the bus.
class FakeTimesyncd : public QDBusVirtualObject
{
public:
    uint leap = 0;

    QString introspect(const QString &) const override
    {
        return QString();
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != QLatin1String("GetAll") || message.arguments().value(0).toString() != QLatin1String("org.freedesktop.timesync1.Manager")) {
            return false;
        }
        QDBusArgument ntp;
        ntp.beginStructure();
        ntp << leap << uint(4) << uint(4) << uint(2) << int(-23) << quint64(1000) << quint64(2000) << QByteArray("GPS") << quint64(1700000000000000)
            << quint64(1700000000001000) << quint64(1700000000002000) << quint64(1700000000003000) << false << quint64(12) << quint64(500);
        ntp.endStructure();
        const QVariantMap properties{{QStringLiteral("ServerName"), QStringLiteral("127.0.0.1")}, {QStringLiteral("NTPMessage"), QVariant::fromValue(ntp)}};
        connection.send(message.createReply(QVariant::fromValue(properties)));
        return true;
    }
};

class LogicControllerTest : public QObject
{
    Q_OBJECT

private:
    QByteArray originalStatus;
    QByteArray originalChronyConf;
    std::unique_ptr<LogicController> controller;
    QStringList warnings;
    static LogicControllerTest *self;

    static void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg && self) {
            self->warnings.append(message);
        }
    }

    static bool withSystemd()
    {
        return !qEnvironmentVariableIsSet("ZEL_EXPECT_NO_SYSTEMD") && !qEnvironmentVariableIsSet("ZEL_EXPECT_HUNG_SYSTEMD");
    }

    void select(const QString &name)
    {
        const int row = names(controller->getInstalledServicesMap()).indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name + QStringLiteral(" is not listed")));
        controller->setCurrentSelectedService(row);
    }

    static void writeDropIn(const char *unit, const QByteArray &text)
    {
        QVERIFY(writeFile(unitDir() + QLatin1String(unit) + QStringLiteral(".d/test.conf"), text));
        systemctl("daemon-reload");
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet("ZEL_SANDBOX")) {
            QSKIP("runs only inside the sandbox machine (sandbox/run.sh)");
        }
        self = this;
        qInstallMessageHandler(collectWarnings);
        originalStatus = readFile(statusFile());
        originalChronyConf = readFile(chronyConf());
    }

    // Every case starts from the machine as the sandbox made it.
    void init()
    {
        const bool hungCase = qstrcmp(QTest::currentTestFunction(), "systemdHung") == 0;
        const bool absentCase = qstrcmp(QTest::currentTestFunction(), "systemdAbsent") == 0;
        if (hungCase != qEnvironmentVariableIsSet("ZEL_EXPECT_HUNG_SYSTEMD") || (!hungCase && absentCase == withSystemd())) {
            QSKIP(absentCase ? "needs a machine without systemd on the bus" : "needs systemd");
        }
        if (withSystemd()) {
            for (const QByteArray &unit : allUnits.split(' ')) {
                QDir(unitDir() + QString::fromLatin1(unit) + QStringLiteral(".d")).removeRecursively();
            }
            systemctl("daemon-reload");
            systemctl("stop " + allUnits);
            systemctl("disable " + allUnits);
            systemctl("reset-failed");
        }
        QVERIFY(writeFile(statusFile(), originalStatus));
        QVERIFY(writeFile(chronyConf(), originalChronyConf));
        QFile::remove(sandboxPath("ZEL_SANDBOX", "synaptic.log"));
        warnings.clear();
        if (withSystemd()) {
            controller = std::make_unique<LogicController>(true);
        }
    }

    void cleanup()
    {
        controller.reset();
    }

    // Run three times: the sandbox's two services, one ("chrony"), none ("").
    void listing()
    {
        const QStringList catalog{timesyncd, chrony, QStringLiteral("ntpsec"), QStringLiteral("openntpd")};
        const QStringList expected = qEnvironmentVariableIsSet("ZEL_EXPECT_SERVICES")
            ? qEnvironmentVariable("ZEL_EXPECT_SERVICES").split(QLatin1Char(' '), Qt::SkipEmptyParts)
            : catalog.mid(0, 2);
        QVERIFY(controller->getSysAlive());
        const auto map = controller->getInstalledServicesMap();
        QCOMPARE(names(map), expected); // catalog order
        QStringList notInstalled = catalog;
        for (const QString &name : expected) {
            notInstalled.removeOne(name);
        }
        QCOMPARE(controller->getNotInstalledServicesNames(), notInstalled);
        QCOMPARE(controller->getActiveServiceName(), QString());
        for (AbstractServiceClass *service : map) {
            QCOMPARE(service->getServiceState(), ServiceNotActive);
            QCOMPARE(service->getServiceEnabling(), 0);
        }
        // Rows -1 and one past the end show no service.
        for (int row = -1; row <= expected.size(); ++row) {
            controller->setCurrentSelectedService(row);
            QCOMPARE(controller->getCurrentServiceState(), row >= 0 && row < expected.size() ? ServiceNotActive : NoInstalledService);
        }
        if (expected.contains(chrony)) {
            // Package installed, but systemd has no such unit: not a service here.
            QVERIFY(hideUnit("chrony.service", true));
            controller->reloadSystemState();
            QVERIFY(!names(controller->getInstalledServicesMap()).contains(chrony));
            QVERIFY(!controller->getNotInstalledServicesNames().contains(chrony));
            QVERIFY(hideUnit("chrony.service", false));
            controller->reloadSystemState();
            QCOMPARE(names(controller->getInstalledServicesMap()), expected);
        }
    }

    void startStopRestartSeenBySystemd()
    {
        select(chrony);
        controller->startServiceByDbus(chrony);
        QCOMPARE(controller->getStartResult(), QString());
        QCOMPARE(systemctl("is-active chrony.service"), QStringLiteral("active"));
        // Known at once, without waiting for a signal.
        QCOMPARE(controller->getActiveServiceName(), chrony);
        QVERIFY(controller->getCurrentServiceState() >= ServiceNotSynchronized);

        const QString pidBefore = systemctl("show -p MainPID chrony.service");
        controller->restartServiceByDbus(chrony);
        QCOMPARE(controller->getStartResult(), QString());
        QCOMPARE(systemctl("is-active chrony.service"), QStringLiteral("active"));
        QVERIFY(systemctl("show -p MainPID chrony.service") != pidBefore);

        controller->stopServiceByDbus(chrony);
        QCOMPARE(systemctl("is-active chrony.service"), QStringLiteral("inactive"));
        QCOMPARE(controller->getCurrentServiceState(), ServiceNotActive);
        QCOMPARE(controller->getActiveServiceName(), QString());
    }

    void enableDisableSeenBySystemd()
    {
        select(chrony);
        controller->enableServiceByDbus(chrony);
        QCOMPARE(systemctl("is-enabled chrony.service"), QStringLiteral("enabled"));
        QCOMPARE(controller->getCurrentServiceEnabling(), 1);
        QCOMPARE(controller->getInstalledServicesMap().value(ChronyPackage)->getServiceEnabling(), 1);
        QCOMPARE(controller->getCurrentServiceState(), ServiceNotActive); // enabling is not starting

        controller->disableServiceByDbus(chrony);
        QCOMPARE(systemctl("is-enabled chrony.service"), QStringLiteral("disabled"));
        QCOMPARE(controller->getCurrentServiceEnabling(), 0);

        // Changed behind the library's back: it follows systemd's signals.
        systemctl("enable chrony.service");
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceEnabling(), 1, 10000);
    }

    void synchronizationStates()
    {
        select(chrony);
        QCOMPARE(controller->getCurrentServiceState(), ServiceNotActive);

        // A server nobody answers for: chronyd runs but cannot synchronize.
        QByteArray conf = originalChronyConf;
        conf.replace("server 127.0.0.1 ", "server 127.0.0.2 ");
        QVERIFY(conf != originalChronyConf);
        QVERIFY(writeFile(chronyConf(), conf));
        controller->startServiceByDbus(chrony);
        QCOMPARE(controller->getStartResult(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(chronycLeap(), QStringLiteral("Not synchronised"), 10000);
        QElapsedTimer watching;
        watching.start();
        while (watching.elapsed() < 4000) {
            QCOMPARE(controller->getCurrentServiceState(), ServiceNotSynchronized);
            QTest::qWait(100);
        }

        // The loopback server again: chronyd synchronizes within seconds.
        QVERIFY(writeFile(chronyConf(), originalChronyConf));
        controller->restartServiceByDbus(chrony);
        QCOMPARE(controller->getStartResult(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceState(), ServiceSynchronized, 60000);
        QCOMPARE(chronycLeap(), QStringLiteral("Normal"));
        QCOMPARE(controller->getInstalledServicesMap().value(ChronyPackage)->getServiceState(), ServiceSynchronized);

        // Stopped behind the library's back.
        systemctl("stop chrony.service");
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceState(), ServiceNotActive, 10000);
        // A new run must earn its state 3 again, not inherit the old answer.
        controller->startServiceByDbus(chrony);
        QVERIFY(controller->getCurrentServiceState() != ServiceNotActive);
    }

    // timesyncd reports through its own D-Bus object; without it the kernel tells.
    void timesyncdStates()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-timesyncd"));
        FakeTimesyncd fake;
        QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/timesync1"), &fake));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.timesync1")));

        select(timesyncd);
        controller->startServiceByDbus(timesyncd);
        QCOMPARE(controller->getStartResult(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceState(), ServiceSynchronized, 10000);
        fake.leap = 3; // the server's alarm; the other fields' rules are the parser's
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceState(), ServiceNotSynchronized, 10000);

        // No timesyncd object on the bus: the kernel's clock state decides.
        bus.unregisterService(QStringLiteral("org.freedesktop.timesync1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/timesync1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-timesyncd"));
        struct timex tx = {};
        QVERIFY(adjtimex(&tx) >= 0);
        const bool kernelSynchronized = !(tx.status & STA_UNSYNC) && tx.maxerror < 16000000;
        QTRY_COMPARE_WITH_TIMEOUT(controller->getCurrentServiceState(), kernelSynchronized ? ServiceSynchronized : ServiceNotSynchronized, 10000);
        controller->stopServiceByDbus(timesyncd);
        QCOMPARE(controller->getCurrentServiceState(), ServiceNotActive);
    }

    void failingStartIsExplained()
    {
        writeDropIn("systemd-timesyncd.service", "[Service]\nType=oneshot\nExecStart=\nExecStart=/bin/false\n");
        select(timesyncd);
        controller->startServiceByDbus(timesyncd);
        const QString result = controller->getStartResult();
        for (const QString &part : {timesyncd, QStringLiteral("failed"), QStringLiteral("exit-code")}) { // exit-code: the service's own result
            QVERIFY2(result.contains(part), qPrintable(result));
        }
        QCOMPARE(controller->getCurrentServiceState(), ServiceNotActive);
        controller->restartServiceByDbus(timesyncd);
        QVERIFY2(controller->getStartResult().startsWith(QLatin1String("Restarting")), qPrintable(controller->getStartResult()));

        // A later success clears the result.
        QDir(unitDir() + QStringLiteral("systemd-timesyncd.service.d")).removeRecursively();
        systemctl("daemon-reload");
        systemctl("reset-failed");
        controller->startServiceByDbus(timesyncd);
        QCOMPARE(controller->getStartResult(), QString());
        controller->stopServiceByDbus(timesyncd);

        // The unit vanished after the list was built: systemd refuses the call.
        QVERIFY(hideUnit("systemd-timesyncd.service", true));
        controller->startServiceByDbus(timesyncd);
        const QString refused = controller->getStartResult();
        QVERIFY(hideUnit("systemd-timesyncd.service", false));
        QVERIFY2(refused.contains(QLatin1String("not found")), qPrintable(refused));

        // A name that is no service of ours.
        controller->startServiceByDbus(QStringLiteral("sshd"));
        QVERIFY(!controller->getStartResult().isEmpty());
    }

    void conflictingServiceBlocksStart()
    {
        select(timesyncd);
        QVERIFY(controller->isServiceConflicting()); // nothing runs

        // Started by someone else: the library learns it from systemd's signals.
        systemctl("start chrony.service");
        QTRY_COMPARE_WITH_TIMEOUT(controller->getActiveServiceName(), chrony, 10000);
        QVERIFY(!controller->isServiceConflicting()); // both provide time-daemon
        select(chrony);
        QVERIFY(controller->isServiceConflicting()); // itself running is no conflict

        systemctl("stop chrony.service");
        select(timesyncd);
        QTRY_VERIFY_WITH_TIMEOUT(controller->isServiceConflicting(), 10000);
        QCOMPARE(controller->getConflictedServices(QStringLiteral("nonsense")), QStringList());
        QCOMPARE(controller->getPackageNameByServiceName(timesyncd), QStringLiteral("systemd-timesyncd"));
    }

    // The conflicts of a package that is not installed come from apt's lists
    // alone, which apt may keep compressed.
    void conflictsFromAptLists()
    {
        const QDir lists(sandboxPath("ZELADMINTIME_SYSROOT", "var/lib/apt/lists"));
        const QStringList plain = lists.entryList({QStringLiteral("*_Packages")});
        QCOMPARE(plain.size(), 1);
        const QString list = lists.filePath(plain.first());
        const QStringList others{timesyncd, chrony, QStringLiteral("ntpsec")};
        QCOMPARE(controller->getConflictedServices(QStringLiteral("openntpd")), others);
        QCOMPARE(QProcess::execute(QStringLiteral("gzip"), {list}), 0);
        controller->reloadSystemState();
        const QStringList conflicted = controller->getConflictedServices(QStringLiteral("openntpd"));
        QCOMPARE(QProcess::execute(QStringLiteral("gunzip"), {list + QStringLiteral(".gz")}), 0);
        QCOMPARE(conflicted, others);

        // Without any list only the installed packages' relations are known.
        QVERIFY(QFile::rename(list, list + QStringLiteral(".away")));
        controller->reloadSystemState();
        const QStringList unknown = controller->getConflictedServices(QStringLiteral("openntpd"));
        const QStringList installed = controller->getConflictedServices(chrony);
        QVERIFY(QFile::rename(list + QStringLiteral(".away"), list));
        QCOMPARE(unknown, QStringList());
        QCOMPARE(installed, QStringList{timesyncd});
    }

    void installAndRemoveReachStandIn()
    {
        const QString log = sandboxPath("ZEL_SANDBOX", "synaptic.log");
        auto calls = [&] {
            const QStringList lines = QString::fromUtf8(readFile(log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QFile::remove(log);
            return lines;
        };
        controller->setMainWindowId(4242);
        QVERIFY(controller->tryToInstallService(QStringLiteral("ntpsec")));
        QStringList lines = calls();
        QCOMPARE(lines.size(), 2);
        const QRegularExpression call(QStringLiteral("^--hide-main-window --non-interactive --parent-window-id 4242 --set-selections-file (\\S+)$"));
        const QRegularExpressionMatch match = call.match(lines[0]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[0]));
        QVERIFY(!QFile::exists(match.captured(1))); // the temporary file is gone
        QCOMPARE(lines[1], QStringLiteral("selection: ntpsec install"));
        // The package database answers as it is now, before any reload.
        QVERIFY(!controller->getNotInstalledServicesNames().contains(QStringLiteral("ntpsec")));
        // Still the old list until the window asks for a reload.
        QVERIFY(!names(controller->getInstalledServicesMap()).contains(QStringLiteral("ntpsec")));
        controller->reloadSystemState();
        QCOMPARE(names(controller->getInstalledServicesMap()), (QStringList{timesyncd, chrony, QStringLiteral("ntpsec")}));

        select(chrony);
        QVERIFY(controller->tryToUninstallCurrentService());
        lines = calls();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], QStringLiteral("selection: chrony deinstall"));
        QVERIFY(controller->getNotInstalledServicesNames().contains(chrony));
        controller->reloadSystemState();
        QCOMPARE(names(controller->getInstalledServicesMap()), (QStringList{timesyncd, QStringLiteral("ntpsec")}));

        // A package manager that ran and failed: authorization cancelled, apt failed.
        for (const char *code : {"126", "100"}) {
            qputenv("ZEL_SYNAPTIC_EXIT", code);
            const bool installed = controller->tryToInstallService(chrony);
            qunsetenv("ZEL_SYNAPTIC_EXIT");
            QVERIFY2(!installed, code);
            QCOMPARE(calls().size(), 1);
            QVERIFY(!warnings.filter(QLatin1String(code)).isEmpty()); // the log tells why
        }

        // Nothing to call, or no package manager: false, and nothing ran.
        controller->setCurrentSelectedService(-1);
        QVERIFY(!controller->tryToUninstallCurrentService());
        QVERIFY(!controller->tryToInstallService(QString()));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        const bool started = controller->tryToInstallService(QStringLiteral("openntpd"));
        qputenv("PATH", path);
        QVERIFY(!started);
        QVERIFY(!QFile::exists(log));
    }

    void corruptStatusFileIsReported()
    {
        // chrony's stanza stays intact; timesyncd's is broken.
        QByteArray broken = originalStatus;
        const int at = broken.indexOf("Package: systemd-timesyncd");
        QVERIFY(at >= 0);
        broken.insert(at + 27, "this line has no colon\n");
        QVERIFY(writeFile(statusFile(), broken));
        controller->reloadSystemState();
        QVERIFY2(!warnings.filter(QRegularExpression(QStringLiteral("status:\\d+: corrupt package list"))).isEmpty(),
                 qPrintable(warnings.join(QLatin1Char('\n'))));
        QCOMPARE(names(controller->getInstalledServicesMap()), QStringList{chrony});

        // Binary junk, then no file at all: no services, no crash.
        QByteArray junk;
        for (int i = 0; i < 4096; ++i) {
            junk += char((i * 7919) % 256);
        }
        QVERIFY(writeFile(statusFile(), junk));
        controller->reloadSystemState();
        QCOMPARE(names(controller->getInstalledServicesMap()), QStringList());
        QFile::remove(statusFile());
        warnings.clear();
        controller->reloadSystemState();
        QCOMPARE(names(controller->getInstalledServicesMap()), QStringList());
        QVERIFY(!warnings.isEmpty());
        controller->setCurrentSelectedService(0);
        QCOMPARE(controller->getCurrentServiceState(), NoInstalledService);
    }

    // A command waits for systemd in a nested event loop: the window's poll,
    // a reload and another command may all run meanwhile.
    void reentrantCommands()
    {
        writeDropIn("systemd-timesyncd.service", "[Service]\nExecStartPre=/bin/sleep 1\n");
        select(timesyncd);
        int ticks = 0;
        bool innerDone = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            ++ticks;
            controller->reloadSystemState();
            for (AbstractServiceClass *service : controller->getInstalledServicesMap()) {
                service->getServiceState();
                service->getServiceEnabling();
            }
            controller->getCurrentServiceState();
            controller->isServiceConflicting();
            if (ticks == 3) {
                controller->startServiceByDbus(chrony); // a second command inside the first
                innerDone = controller->getStartResult().isEmpty();
            }
        });
        poll.start(50);
        QElapsedTimer timer;
        timer.start();
        controller->startServiceByDbus(timesyncd);
        poll.stop();
        QVERIFY(timer.elapsed() >= 1000); // it did wait for the job
        QCOMPARE(controller->getStartResult(), QString());
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QVERIFY(innerDone);
        QCOMPARE(systemctl("is-active systemd-timesyncd.service chrony.service"), QStringLiteral("active\nactive"));
        QVERIFY(controller->getCurrentServiceState() >= ServiceNotSynchronized);
    }

    void controllerDeletedDuringWait()
    {
        writeDropIn("systemd-timesyncd.service", "[Service]\nExecStartPre=/bin/sleep 1\n");
        QPointer<LogicController> watched(controller.get());
        QTimer::singleShot(200, this, [this] {
            controller.reset();
        });
        watched->startServiceByDbus(timesyncd);
        QVERIFY(!watched);
        QTRY_COMPARE_WITH_TIMEOUT(systemctl("is-active systemd-timesyncd.service"), QStringLiteral("active"), 10000);
    }

    // Run with --hung-systemd: the manager owns its name and answers nothing.
    void systemdHung()
    {
        const QByteArray pid = qgetenv("ZEL_SYSTEMD_PID");
        QElapsedTimer timer;
        timer.start();
        auto hung = std::make_unique<LogicController>(true);
        QSignalSpy unavailable(hung.get(), &LogicController::loginctlUnavailable);
        QVERIFY(!hung->getSysAlive());
        fprintf(stderr, "opening with a hung systemd took %lld ms\n", timer.elapsed());
        QCOMPARE(unavailable.count(), 1);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        // Answering again, then hung while the window is open.
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), QString::fromLatin1(pid)}), 0);
        hung->startServiceByDbus(timesyncd);
        QCOMPARE(hung->getStartResult(), QString());
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-STOP"), QString::fromLatin1(pid)}), 0);
        timer.restart();
        hung->restartServiceByDbus(timesyncd);
        fprintf(stderr, "a restart against a hung systemd failed after %lld ms\n", timer.elapsed());
        QVERIFY2(hung->getStartResult().contains(QLatin1String("does not answer")), qPrintable(hung->getStartResult()));
        QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
    }

    // Run with --no-systemd, and with DBUS_SYSTEM_BUS_ADDRESS naming no socket.
    void systemdAbsent()
    {
        QElapsedTimer timer;
        timer.start();
        LogicController absent(true);
        QSignalSpy unavailable(&absent, &LogicController::loginctlUnavailable);
        QVERIFY(!absent.getSysAlive());
        QCOMPARE(unavailable.count(), 1);
        // What is known still answers: the packages.
        QCOMPARE(names(absent.getInstalledServicesMap()), (QStringList{timesyncd, chrony}));
        absent.setCurrentSelectedService(1);
        QCOMPARE(absent.getCurrentServiceState(), ServiceNotActive);
        QCOMPARE(absent.getCurrentServiceEnabling(), 0);
        QVERIFY(absent.isServiceConflicting());
        QCOMPARE(absent.getActiveServiceName(), QString());
        absent.startServiceByDbus(chrony);
        QVERIFY2(absent.getStartResult().contains(QLatin1String("systemd")), qPrintable(absent.getStartResult()));
        absent.restartServiceByDbus(chrony);
        QVERIFY(!absent.getStartResult().isEmpty());
        absent.stopServiceByDbus(chrony);
        absent.enableServiceByDbus(chrony);
        absent.disableServiceByDbus(chrony);
        absent.reloadSystemState();
        QVERIFY(!absent.getSysAlive());
        QCOMPARE(unavailable.count(), 2);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }
};

LogicControllerTest *LogicControllerTest::self = nullptr;

QTEST_GUILESS_MAIN(LogicControllerTest)
#include "logiccontrollertest.moc"
