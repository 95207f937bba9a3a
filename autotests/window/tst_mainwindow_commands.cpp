// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Start/stop, restart and start-at-boot, the 5-second refresh with its
// reload rule, and the window's safety against its own nested event loops.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "themeicon.h"
#include "widgettest.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <memory>

namespace
{
const QString reloadCall = QStringLiteral("reloadSystemState");
const QString startCall = QStringLiteral("startServiceByDbus");
const QString stopCall = QStringLiteral("stopServiceByDbus");

QStringList commandCalls()
{
    return fakeScript().callNames({startCall,
                                   stopCall,
                                   QStringLiteral("restartServiceByDbus"),
                                   QStringLiteral("enableServiceByDbus"),
                                   QStringLiteral("disableServiceByDbus"),
                                   QStringLiteral("getStartResult"),
                                   QStringLiteral("getCurrentServiceState"),
                                   QStringLiteral("getCurrentServiceEnabling")});
}
}

class MainWindowCommandsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;

    // timesyncd (inactive), chrony (synchronized, active) and ntpsec
    // (inactive), each with a page; the first tick is over unless told.
    void open(bool firstTick = true)
    {
        FakeScript &s = fakeScript();
        s.addService(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.addService(NtpsecPackage, "ntpsec", ServiceNotActive, 0);
        s.widgets = {new QWidget, new QWidget, new QWidget};
        s.activeName = QStringLiteral("chrony");
        window = std::make_unique<MainWindow>(true);
        probe = std::make_unique<MainWindowProbe>(window.get());
        if (firstTick) {
            probe->tick();
        }
        s.clearCalls();
    }

    // The form's actions and the buttons that stand for them, when enabled.
    QStringList enabledCommands() const
    {
        QStringList names;
        for (QObject *o : window->findChildren<QObject *>()) {
            const bool command = qobject_cast<QPushButton *>(o) || (qobject_cast<QAction *>(o) && o->parent() == window.get());
            if (command && o->property("enabled").toBool()) {
                names << o->objectName();
            }
        }
        return names;
    }

    QListView *view() const
    {
        return window->findChild<QListView *>(QStringLiteral("servicesListView"));
    }
    QAction *action(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }
    void select(int row)
    {
        view()->selectionModel()->setCurrentIndex(view()->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    }
    QModelIndex rowOf(const QString &name) const
    {
        const QModelIndexList found = view()->model()->match(view()->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        return found.value(0);
    }
    int cachedState(const QString &name) const
    {
        return rowOf(name).data(MainWindow::ServiceStateRole).toInt();
    }
    QImage rowIcon(const QString &name) const
    {
        return iconImage(rowOf(name).data(Qt::DecorationRole).value<QIcon>());
    }

private Q_SLOTS:
    void init()
    {
        fakeScript().reset();
        clearSettings();
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    // The cached state picks the command; the machine's answer after it is
    // shown at once, without a reload.
    void startStopUsesTheCachedState_data()
    {
        QTest::addColumn<int>("cached");
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("after");
        QTest::newRow("1 starts") << 1 << startCall << int(ServiceSynchronized);
        QTest::newRow("0 stops") << 0 << stopCall << int(ServiceNotActive);
        QTest::newRow("2 stops") << 2 << stopCall << int(ServiceNotActive);
        QTest::newRow("3 stops") << 3 << stopCall << int(ServiceNotActive);
        QTest::newRow("odd stops") << 6 << stopCall << int(ServiceNotActive);
    }

    void startStopUsesTheCachedState()
    {
        QFETCH(int, cached);
        QFETCH(QString, call);
        QFETCH(int, after);
        open();
        FakeScript &s = fakeScript();
        select(2); // ntpsec, inactive whatever the cache says
        view()->model()->setData(view()->currentIndex(), cached, MainWindow::ServiceStateRole);
        s.onCall(call, [after](const QVariantList &) {
            fakeScript().service("ntpsec")->state = after;
        });
        s.clearCalls();
        BoxAnswerer boxes;
        action("startStopServiceAction")->trigger();
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(s.lastArgs(call), QVariantList({QStringLiteral("ntpsec")}));
        const QStringList expected = call == startCall ? QStringList({startCall, QStringLiteral("getStartResult"), QStringLiteral("getCurrentServiceState")})
                                                       : QStringList({stopCall, QStringLiteral("getCurrentServiceState")});
        QCOMPARE(commandCalls(), expected);
        const bool synced = after == ServiceSynchronized;
        QCOMPARE(cachedState(QStringLiteral("ntpsec")), after);
        QCOMPARE(rowIcon(QStringLiteral("ntpsec")), iconImage(themeIcon(synced ? "dialog-on" : "media-playback-stop-symbolic")));
        QCOMPARE(action("startStopServiceAction")->text(), synced ? QStringLiteral("St&op service") : QStringLiteral("S&tart service"));
        QCOMPARE(probe->statusTextLabel()->text(),
                 synced ? QStringLiteral("Service is synchronized.") : QStringLiteral("Synchronization service is not active."));
        QCOMPARE(s.count(reloadCall), 0);
        QCOMPARE(view()->currentIndex().row(), 2);
    }

    void startFailureMessage_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("result");
        QTest::newRow("start") << QStringLiteral("startStopServiceAction") << QStringLiteral("Job for ntpsec.service failed.");
        QTest::newRow("restart") << QStringLiteral("restartServiceAction") << QStringLiteral("Unit ntpsec.service not found.");
        QTest::newRow("placeholders stay") << QStringLiteral("startStopServiceAction") << QStringLiteral("%1 and %2");
    }

    void startFailureMessage()
    {
        QFETCH(QString, command);
        QFETCH(QString, result);
        open();
        FakeScript &s = fakeScript();
        select(2);
        s.startResult = result;
        s.clearCalls();
        BoxAnswerer boxes(window.get());
        boxes.expect(QMessageBox::Ok);
        action(command.toLatin1().constData())->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0],
                 box(QStringLiteral("Warning!"),
                     QStringLiteral("Service ntpsec can't start.\nAdditional information below:\n") + result,
                     QMessageBox::Ok,
                     QMessageBox::Warning));
        // Re-read after the message as after a success.
        QCOMPARE(commandCalls().last(), QStringLiteral("getCurrentServiceState"));
    }

    void restartWhateverTheState()
    {
        open();
        FakeScript &s = fakeScript();
        action("restartServiceAction")->trigger(); // chrony, synchronized
        QCOMPARE(commandCalls(),
                 QStringList({QStringLiteral("restartServiceByDbus"), QStringLiteral("getStartResult"), QStringLiteral("getCurrentServiceState")}));
        QCOMPARE(s.lastArgs(QStringLiteral("restartServiceByDbus")), QVariantList({QStringLiteral("chrony")}));
    }

    void startAtBoot_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("after");
        QTest::addColumn<QString>("text");
        QTest::newRow("enabled: disable") << 1 << QStringLiteral("disableServiceByDbus") << 0 << QStringLiteral("E&nable service");
        QTest::newRow("disabled: enable") << 0 << QStringLiteral("enableServiceByDbus") << 1 << QStringLiteral("D&isable service");
    }

    void startAtBoot()
    {
        QFETCH(int, row);
        QFETCH(QString, call);
        QFETCH(int, after);
        QFETCH(QString, text);
        open();
        FakeScript &s = fakeScript();
        select(row);
        const QString name = view()->currentIndex().data().toString();
        s.onCall(call, [name, after](const QVariantList &) {
            fakeScript().service(name.toLatin1())->enabling = after;
        });
        s.clearCalls();
        BoxAnswerer boxes;
        action("enDisServiceAction")->trigger();
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(commandCalls(), QStringList({call, QStringLiteral("getCurrentServiceEnabling")}));
        QCOMPARE(s.lastArgs(call), QVariantList({name}));
        QCOMPARE(view()->currentIndex().data(MainWindow::ServiceEnablingRole).toInt(), after);
        QCOMPARE(action("enDisServiceAction")->text(), text);
    }

    void noSelectedService_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("start/stop") << QStringLiteral("startStopServiceAction");
        QTest::newRow("restart") << QStringLiteral("restartServiceAction");
        QTest::newRow("start at boot") << QStringLiteral("enDisServiceAction");
    }

    void noSelectedService()
    {
        QFETCH(QString, command);
        // Nothing installed: the actions are disabled, but a trigger still arrives.
        window = std::make_unique<MainWindow>(true);
        FakeScript &s = fakeScript();
        s.clearCalls();
        BoxAnswerer boxes(window.get());
        boxes.expect(QMessageBox::Ok);
        window->findChild<QAction *>(command)->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0], box(QStringLiteral("Warning!"), QStringLiteral("No one service has been selected"), QMessageBox::Ok, QMessageBox::Information));
        QVERIFY(s.calls.empty());
    }

    // --- the refresh ------------------------------------------------------------

    void firstTickRebuildsOnce()
    {
        open(false);
        FakeScript &s = fakeScript();
        select(0); // the user's choice in the first seconds
        probe->tick();
        QCOMPARE(s.count(reloadCall), 1);
        // The rebuild keeps the user's choice, in the list and the controller.
        QCOMPARE(view()->currentIndex().row(), 0);
        QCOMPARE(s.selectedRow, 0);
        QCOMPARE(window->findChild<QStackedWidget *>()->currentWidget(), s.widgets[0]);
        QCOMPARE(probe->lastServiceState(), int(ServiceNotActive)); // what the tick read before the rebuild
        probe->tick();
        probe->tick();
        QCOMPARE(s.count(reloadCall), 1);
    }

    void stateZeroRebuildsEveryTick()
    {
        open();
        FakeScript &s = fakeScript();
        s.service("chrony")->state = NoInstalledService;
        probe->tick();
        probe->tick();
        QCOMPARE(s.count(reloadCall), 2);
        QCOMPARE(probe->lastServiceState(), 0);
        // Non-zero again: one more rebuild, then none.
        s.service("chrony")->state = ServiceNotSynchronized;
        probe->tick();
        probe->tick();
        probe->tick();
        QCOMPARE(s.count(reloadCall), 3);
        QCOMPARE(probe->lastServiceState(), int(ServiceNotSynchronized));
        QCOMPARE(cachedState(QStringLiteral("chrony")), int(ServiceNotSynchronized));
    }

    void unsavedChangesBlockTheRebuild()
    {
        open(false);
        FakeScript &s = fakeScript();
        Q_EMIT s.controller->oneServiceChanged();
        BoxAnswerer boxes;
        probe->tick();
        s.service("chrony")->state = NoInstalledService;
        probe->tick();
        QCOMPARE(s.count(reloadCall), 0);
        QVERIFY(boxes.seen.isEmpty());
        // The state is still recorded as without changes.
        QCOMPARE(probe->lastServiceState(), 0);
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("No installed services."));
    }

    void ticksWhileSettingsAreOpen()
    {
        open();
        FakeScript &s = fakeScript();
        s.service("chrony")->state = ServiceNotActive;
        s.settingsOpened = true;
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getCurrentServiceState")), 0);
        QCOMPARE(cachedState(QStringLiteral("chrony")), int(ServiceSynchronized));
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Service is synchronized."));
        s.settingsOpened = false;
        probe->tick();
        QCOMPARE(cachedState(QStringLiteral("chrony")), int(ServiceNotActive));
    }

    void pollRunsFromTheTimer()
    {
        // The real timer, once: the tick arrives by itself after 5 s.
        open(false);
        FakeScript &s = fakeScript();
        QTRY_COMPARE_WITH_TIMEOUT(s.count(QStringLiteral("getLastSynchroInfoAsync")), 1, 6000);
        QCOMPARE(s.count(reloadCall), 1);
    }

    // --- nested event loops -----------------------------------------------------
    //
    // The controller's calls and the message boxes run the event loop. A tick
    // or the user may rebuild the list, or select another row, while a
    // command still holds the index it started on.

    void rebuildInsideACommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("call");
        QTest::newRow("start") << QStringLiteral("startStopServiceAction") << startCall;
        QTest::newRow("restart") << QStringLiteral("restartServiceAction") << QStringLiteral("restartServiceByDbus");
        QTest::newRow("start at boot") << QStringLiteral("enDisServiceAction") << QStringLiteral("enableServiceByDbus");
    }

    void rebuildInsideACommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, call);
        open();
        FakeScript &s = fakeScript();
        select(2); // ntpsec, row 2
        // While the command waits, the list is rebuilt without timesyncd and
        // with openntpd: ntpsec moves to row 1, openntpd takes row 2.
        s.onCall(call, [this](const QVariantList &) {
            FakeScript &s = fakeScript();
            s.services.remove(TimesyncdPackage);
            s.addService(OpenntpdPackage, "openntpd", ServiceNotActive, 0);
            s.service("ntpsec")->state = ServiceSynchronized;
            s.service("ntpsec")->enabling = 1;
            action("reloadAction")->trigger();
        });
        QPointer<QAbstractItemModel> oldModel = view()->model();
        action(command.toLatin1().constData())->trigger();
        QVERIFY(oldModel.isNull());
        QCOMPARE(view()->model()->rowCount(), 3);
        // The rebuild selected chrony; the command refreshed that row from
        // what the controller now answers for, and left the others alone.
        QCOMPARE(cachedState(QStringLiteral("openntpd")), int(ServiceNotActive));
        QCOMPARE(rowIcon(QStringLiteral("openntpd")), iconImage(themeIcon("media-playback-stop-symbolic")));
        QCOMPARE(rowOf(QStringLiteral("openntpd")).data(MainWindow::ServiceEnablingRole).toInt(), 0);
        QCOMPARE(view()->currentIndex().row(), 0);
        QCOMPARE(s.selectedRow, 0);
        QCOMPARE(cachedState(QStringLiteral("chrony")), int(ServiceSynchronized));
        QCOMPARE(rowOf(QStringLiteral("chrony")).data(MainWindow::ServiceEnablingRole).toInt(), 1);
        QCOMPARE(rowOf(QStringLiteral("ntpsec")).data(MainWindow::ServiceEnablingRole).toInt(), 1);
        QCOMPARE(rowIcon(QStringLiteral("ntpsec")), iconImage(themeIcon("dialog-on")));
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Service is synchronized."));
    }

    void anotherRowSelectedDuringACommand()
    {
        open();
        FakeScript &s = fakeScript();
        select(2); // ntpsec
        view()->model()->setData(view()->currentIndex(), int(ServiceNotSynchronized), MainWindow::ServiceStateRole);
        // The user picks timesyncd while the stop waits.
        s.onCall(stopCall, [this](const QVariantList &) {
            select(0);
        });
        action("startStopServiceAction")->trigger();
        QCOMPARE(s.lastArgs(stopCall), QVariantList({QStringLiteral("ntpsec")}));
        // timesyncd's answer went to timesyncd's row, not to ntpsec's.
        QCOMPARE(cachedState(QStringLiteral("ntpsec")), int(ServiceNotSynchronized));
        QCOMPARE(cachedState(QStringLiteral("systemd-timesyncd")), int(ServiceNotActive));
        QCOMPARE(rowIcon(QStringLiteral("ntpsec")), iconImage(themeIcon("media-playback-stop-symbolic")));
    }

    void tickRebuildsWhileAMessageBoxIsOpen()
    {
        open(false); // the first tick, due any moment, rebuilds
        FakeScript &s = fakeScript();
        select(2); // ntpsec
        s.startResult = QStringLiteral("failed");
        s.onCall(startCall, [](const QVariantList &) {
            FakeScript &s = fakeScript();
            s.services.remove(TimesyncdPackage);
            s.addService(OpenntpdPackage, "openntpd", ServiceNotActive, 0);
        });
        QPointer<QAbstractItemModel> oldModel = view()->model();
        BoxAnswerer boxes(window.get());
        // The 5-second tick comes while the failure box is open.
        boxes.expect(QMessageBox::Ok, [this] {
            QTRY_VERIFY_WITH_TIMEOUT(fakeScript().count(reloadCall) == 1, 6000);
        });
        action("startStopServiceAction")->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(oldModel.isNull());
        QCOMPARE(view()->model()->rowCount(), 3);
        QCOMPARE(view()->currentIndex().data().toString(), QStringLiteral("ntpsec")); // kept, now row 1
        QCOMPARE(cachedState(QStringLiteral("ntpsec")), int(ServiceNotActive));
        QCOMPARE(cachedState(QStringLiteral("openntpd")), int(ServiceNotActive));
        QCOMPARE(rowIcon(QStringLiteral("openntpd")), iconImage(themeIcon("media-playback-stop-symbolic")));
        QCOMPARE(rowIcon(QStringLiteral("ntpsec")), iconImage(themeIcon("media-playback-stop-symbolic")));
        QCOMPARE(cachedState(QStringLiteral("chrony")), int(ServiceSynchronized));
        QCOMPARE(s.count(reloadCall), 1);
    }

    void listEmptiedInsideACommand()
    {
        open();
        FakeScript &s = fakeScript();
        s.onCall(stopCall, [this](const QVariantList &) {
            FakeScript &s = fakeScript();
            s.services.clear();
            s.widgets.clear();
            action("reloadAction")->trigger();
        });
        action("startStopServiceAction")->trigger();
        QCOMPARE(view()->model()->rowCount(), 0);
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("No installed services."));
    }

    // Every command is off while one waits, then as the rules say now (a page
    // changed meanwhile); or the host deletes the window meanwhile.
    void commandWaits_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("call");
        QTest::newRow("stop") << QStringLiteral("startStopServiceAction") << QStringLiteral("stopServiceByDbus");
        QTest::newRow("restart") << QStringLiteral("restartServiceAction") << QStringLiteral("restartServiceByDbus");
        QTest::newRow("start at boot") << QStringLiteral("enDisServiceAction") << QStringLiteral("disableServiceByDbus");
        QTest::newRow("settings") << QStringLiteral("serviceSettAction") << QStringLiteral("openMainSettingsDialog");
        QTest::newRow("reload") << QStringLiteral("reloadAction") << QStringLiteral("reloadSystemState");
        QTest::newRow("delete") << QStringLiteral("deleteServiceAction") << QStringLiteral("tryToUninstallCurrentService");
        QTest::newRow("save") << QStringLiteral("saveAction") << QStringLiteral("applyConfig");
    }

    void commandWaits()
    {
        QFETCH(QString, command);
        QFETCH(QString, call);
        for (const bool deleted : {false, true}) {
            open();
            FakeScript &s = fakeScript();
            s.applyAnswer = FakeScript::ApplyAnswer::Silent;
            QStringList expected = enabledCommands(), whileWaiting;
            expected.removeOne(QStringLiteral("restartServiceAction"));
            expected.removeOne(QStringLiteral("enDisServiceAction"));
            expected.prepend(QStringLiteral("saveAction")); // the form's first
            s.onCall(call, [&](const QVariantList &) {
                whileWaiting = enabledCommands();
                Q_EMIT fakeScript().controller->oneServiceChanged();
                if (deleted) {
                    cleanup();
                }
            });
            BoxAnswerer boxes;
            boxes.expect(QMessageBox::Yes); // the removal question
            action(command.toLatin1().constData())->trigger();
            QCOMPARE(whileWaiting, QStringList());
            if (deleted) { // nothing asked of the deleted controller
                QCOMPARE(s.callNames().last(), QStringLiteral("~LogicController"));
            } else {
                QCOMPARE(enabledCommands(), expected);
            }
            cleanup();
            s.reset();
        }
    }

    void reloadAskedForDuringAReload()
    {
        open();
        FakeScript &s = fakeScript();
        s.service("chrony")->state = NoInstalledService;
        // A tick (state 0: it wants a rebuild) while the controller reloads.
        s.onCall(reloadCall, [this](const QVariantList &) {
            fakeScript().onCall(reloadCall, {});
            probe->tick();
        });
        action("reloadAction")->trigger();
        QCOMPARE(s.count(reloadCall), 1);
        QCOMPARE(view()->model()->rowCount(), 3);
        QCOMPARE(view()->currentIndex().row(), 1);
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowCommandsTest)

#include "tst_mainwindow_commands.moc"
