// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library against the sandbox machine, all four services installed:
// its systemd, a chronyd that synchronizes to a loopback server, a dpkg status
// and apt lists, a recording stand-in for synaptic-pkexec, the services'
// configuration files. Outside the sandbox it skips.

#include "logiccontroller.h"
#include "testhelpers.h"
#include "widgettest.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <memory>

#include <sys/stat.h>

static const QString timesyncd = QStringLiteral("systemd-timesyncd");
static const QString chrony = QStringLiteral("chrony");
static const QString units = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/systemd/user/");
static const QString statusFile = qEnvironmentVariable("ZELADMINTIME_SYSROOT") + QStringLiteral("/var/lib/dpkg/status");
static const QString synapticLog = qEnvironmentVariable("ZEL_SANDBOX") + QStringLiteral("/synaptic.log");
static const QString sysroot = qEnvironmentVariable("ZELADMINTIME_SYSROOT");
static const QString timesyncdConf = sysroot + QStringLiteral("/etc/systemd/timesyncd.conf");
static const QString chronyConf = sysroot + QStringLiteral("/etc/chrony/chrony.conf");
static const QString openntpdConf = sysroot + QStringLiteral("/etc/openntpd/ntpd.conf");
static QStringList warnings;

using namespace TestHelpers;

static ino_t inode(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
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

    QHash<QString, QByteArray> m_original; // the dpkg status and the configuration files
    std::unique_ptr<LogicController> m_controller;

    QWidget *page(PackageIndex service) const
    {
        return m_controller->getInstalledServiceWidgets().value(m_controller->getInstalledServicesMap().keys().indexOf(service));
    }
    void select(const QString &name)
    {
        m_controller->setCurrentSelectedService(names(m_controller->getInstalledServicesMap()).indexOf(name));
    }
    static void writeDropIn(const QByteArray &dropIn)
    {
        QDir().mkpath(units + QStringLiteral("systemd-timesyncd.service.d"));
        writeFile(units + QStringLiteral("systemd-timesyncd.service.d/test.conf"), dropIn);
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
        for (const QString &path : {statusFile, timesyncdConf, chronyConf, openntpdConf}) {
            m_original.insert(path, readFile(path));
        }
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
            for (auto it = m_original.cbegin(); it != m_original.cend(); ++it) {
                writeFile(it.key(), it.value());
            }
            m_controller = std::make_unique<LogicController>(true);
        }
        QFile::remove(synapticLog);
        warnings.clear();
    }
    void cleanup()
    {
        m_controller.reset();
    }

    // What the window's own sandbox test of start, stop and boot cannot see.
    void followsSystemd()
    {
        select(chrony);
        m_controller->startServiceByDbus(chrony);
        QCOMPARE(m_controller->getActiveServiceName(), chrony); // at once, no signal awaited
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->getCurrentServiceState(), ServiceSynchronized, 60000);
        // Changed behind the library's back: it follows systemd's signals.
        systemctl(QStringLiteral("enable chrony.service"));
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->getCurrentServiceEnabling(), 1, 30000);
        select(timesyncd);
        QVERIFY(!m_controller->isServiceConflicting()); // both provide time-daemon
        systemctl(QStringLiteral("stop chrony.service"));
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->isServiceConflicting(), 30000);
    }

    // A start or restart whose job does not end "done" (systemd's JobRemoved
    // results) is a failure the user is told of; the row does not turn active.
    void failedJobs_data()
    {
        QTest::addColumn<QByteArray>("dropIn");
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QString>("shown");
        const QByteArray hang("[Service]\nExecStartPre=/bin/sleep 60\n");
        QTest::newRow("service fails") << QByteArray("[Service]\nType=oneshot\nExecStart=\nExecStart=/bin/false\n") << false << "\"exit-code\"";
        QTest::newRow("required unit fails") << QByteArray("[Unit]\nRequires=zel-fails.service\nAfter=zel-fails.service\n") << false << "\"dependency\"";
        QTest::newRow("job times out") << QByteArray("[Unit]\nJobTimeoutSec=1\n" + hang + "TimeoutStartSec=3\n") << true << "\"timeout\"";
        QTest::newRow("start times out") << QByteArray(hang + "TimeoutStartSec=1\n") << false << "\"timeout\"";
        QTest::newRow("stopped while starting") << hang << true << "\"canceled\"";
    }
    void failedJobs()
    {
        QFETCH(QByteArray, dropIn);
        QFETCH(bool, restart);
        QFETCH(QString, shown);
        writeFile(units + QStringLiteral("zel-fails.service"), "[Unit]\nDefaultDependencies=no\n[Service]\nType=oneshot\nExecStart=/bin/false\n");
        writeDropIn(dropIn);
        select(timesyncd);
        if (shown.contains(QLatin1String("canceled"))) {
            QTimer::singleShot(1000, this, [] {
                systemctl(QStringLiteral("stop systemd-timesyncd.service"));
            });
        }
        restart ? m_controller->restartServiceByDbus(timesyncd) : m_controller->startServiceByDbus(timesyncd);
        const QString result = m_controller->getStartResult();
        QVERIFY2(result.contains(timesyncd), qPrintable(result));
        QVERIFY2(result.contains(shown), qPrintable(result));
        QTRY_COMPARE_WITH_TIMEOUT(m_controller->getCurrentServiceState(), ServiceNotActive, 30000);
        writeDropIn("");
        m_controller->startServiceByDbus(timesyncd);
        QCOMPARE(m_controller->getStartResult(), QString()); // a success clears it
    }

    void packageManager()
    {
        QVERIFY(m_controller->tryToInstallService(QStringLiteral("ntpsec")));
        const QString selections = QString::fromUtf8(readFile(synapticLog)).section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(' '), -1);
        QVERIFY(!selections.isEmpty());
        QVERIFY2(!QFile::exists(selections), qPrintable(selections)); // the temporary file is gone
        // Authorization cancelled, apt failed: false, and the log says why.
        for (const char *code : {"126", "100"}) {
            qputenv("ZEL_SYNAPTIC_EXIT", code);
            const bool installed = m_controller->tryToInstallService(chrony);
            qunsetenv("ZEL_SYNAPTIC_EXIT");
            QVERIFY2(!installed, code);
            QVERIFY2(!warnings.filter(QLatin1String(code)).isEmpty(), code);
        }
        m_controller->setCurrentSelectedService(-1);
        QVERIFY(!m_controller->tryToUninstallCurrentService());
        QVERIFY(!m_controller->tryToInstallService(QString()));
    }

    void saveAndRestart()
    {
        systemctl(QStringLiteral("start chrony.service"));
        m_controller->reloadSystemState();
        const QString pid = systemctl(QStringLiteral("show -p MainPID chrony.service"));
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        // An edit undone on openntpd's page is no edit: its file is not rewritten.
        auto *openntpdServers = child<QListWidget>(page(OpenntpdPackage), "serversList");
        openntpdServers->setCurrentRow(0);
        child<QToolButton>(page(OpenntpdPackage), "moveDownBtn")->click();
        child<QToolButton>(page(OpenntpdPackage), "moveUpBtn")->click();
        const ino_t openntpdFile = inode(openntpdConf);

        m_controller->applyConfig();
        QCOMPARE(written.count(), 1); // before applyConfig() returned
        QCOMPARE(readFile(chronyConf), QByteArray(m_original.value(chronyConf)).replace("rtcsync\n", ""));
        QCOMPARE(inode(openntpdConf), openntpdFile);
        QCOMPARE(systemctl(QStringLiteral("is-active chrony.service")), QStringLiteral("active"));
        QVERIFY(systemctl(QStringLiteral("show -p MainPID chrony.service")) != pid);

        // Saved, but the restart fails: the user learns that and why.
        const QString dropIn = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/systemd/user/chrony.service.d");
        QVERIFY(QDir().mkpath(dropIn));
        writeFile(dropIn + QStringLiteral("/fail.conf"), "[Service]\nExecStartPre=/bin/false\n");
        systemctl(QStringLiteral("daemon-reload"));
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        QString box;
        ModalAnswerer modals;
        modals.expect([&box](QDialog *dialog) {
            auto *message = static_cast<QMessageBox *>(dialog);
            box = message->text() + message->detailedText();
            message->button(QMessageBox::Ok)->click();
        });
        m_controller->applyConfig();
        QDir(dropIn).removeRecursively();
        systemctl(QStringLiteral("daemon-reload"));
        QCOMPARE(written.count(), 2);
        QVERIFY2(box.contains(QLatin1String("did not restart")), qPrintable(box));
    }

    // The wheel over a spin or combo box scrolls the page, and edits only the focused box.
    void wheelScrollsPage()
    {
        int boxes = 0;
        for (const PackageIndex service : {TimesyncdPackage, ChronyPackage, NtpsecPackage, OpenntpdPackage}) {
            QWidget *pane = page(service);
            auto *area = pane->findChild<QScrollArea *>();
            QVERIFY(area);
            pane->resize(500, 250);
            pane->show();
            QApplication::setActiveWindow(pane);
            child<QListWidget>(area, "serversList")->setCurrentRow(0); // the server's own boxes
            for (QWidget *box : area->widget()->findChildren<QWidget *>()) {
                const bool combo = qobject_cast<QComboBox *>(box);
                if ((!combo && !qobject_cast<QAbstractSpinBox *>(box)) || !box->isEnabled() || !box->isVisibleTo(area)) {
                    continue;
                }
                ++boxes;
                QScrollBar *bar = area->verticalScrollBar();
                for (const bool focused : {false, true}) {
                    area->ensureWidgetVisible(box);
                    focused ? box->setFocus() : area->setFocus();
                    QTRY_COMPARE(box->hasFocus(), focused);
                    const int scrolled = bar->value();
                    const QVariant before = box->property(combo ? "currentText" : "text");
                    // Down, then up where the page or the box is at its end already.
                    for (const int delta : {-120, 120}) {
                        QWheelEvent
                            wheel(QPointF(5, 5), box->mapToGlobal(QPoint(5, 5)), {}, {0, delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                        QSpontaneKeyEvent::setSpontaneous(&wheel);
                        (box->property(combo ? "currentText" : "text") == before && bar->value() == scrolled) && qApp->notify(box, &wheel);
                    }
                    QVERIFY2((box->property(combo ? "currentText" : "text") != before) == focused, qPrintable(box->objectName()));
                    QVERIFY2((bar->value() != scrolled) != focused || bar->maximum() == 0, qPrintable(box->objectName()));
                }
            }
        }
        QVERIFY(boxes > 3);
    }

    void failedSaveStaysPending()
    {
        QWidget *ntp = child<QWidget>(page(TimesyncdPackage), "ntpServersEditor");
        QTest::keyClicks(child<QLineEdit>(ntp, "newServerEdit"), QStringLiteral("192.0.2.1"));
        child<QPushButton>(ntp, "addServerBtn")->click();
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        // Someone edits timesyncd.conf meanwhile: it is not overwritten, and
        // chrony's file, in the row after it, stays pending too.
        const QByteArray theirs = m_original.value(timesyncdConf) + "NTP=elsewhere.example\n";
        writeFile(timesyncdConf, theirs);
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
        // The page says why, in place; a box is the window's to show.
        ModalAnswerer modals;
        m_controller->applyConfig();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(modals.seen, QStringList());
        const QString told = page(TimesyncdPackage)->findChild<QWidget *>(QStringLiteral("saveFailureMessage"))->property("text").toString();
        QVERIFY2(told.contains(QLatin1String("/etc/systemd/timesyncd.conf")), qPrintable(told));
        QVERIFY2(told.contains(QLatin1String("changed on disk")), qPrintable(told));
        QCOMPARE(readFile(timesyncdConf), theirs);
        QCOMPARE(readFile(chronyConf), m_original.value(chronyConf));
        // The sync list offers the servers as edited.
        QVERIFY(m_controller->getListServersToSync().contains(QStringLiteral("192.0.2.1")));
        // The file as it was read again: the pending edits go through.
        writeFile(timesyncdConf, m_original.value(timesyncdConf));
        m_controller->applyConfig();
        QCOMPARE(written.count(), 1);
        QVERIFY(readFile(timesyncdConf).contains("NTP=192.0.2.1\n"));
        QVERIFY(readFile(chronyConf) != m_original.value(chronyConf));
        QVERIFY(page(TimesyncdPackage)->findChild<QWidget *>(QStringLiteral("saveFailureMessage"))->property("text").toString().isEmpty());
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
        absent.reloadSystemState();
        QVERIFY(!absent.getSysAlive());
        QCOMPARE(unavailable.count(), 2);
    }
};

QTEST_MAIN(ControllerTest)

#include "tst_controller.moc"
