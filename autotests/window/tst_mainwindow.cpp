// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The window against the scripted controller: its commands, the refresh and
// its reload rule, the unsaved-changes question, the package and sync-now
// flows, and its safety against its own nested event loops.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "widgettest.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace
{
const QString reloadCall = QStringLiteral("reloadSystemState");
const int stateRole = MainWindow::ServiceStateRole;
const int bootRole = MainWindow::ServiceEnablingRole;

QStringList strings(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items) {
        list << QString::fromLatin1(item);
    }
    return list;
}
}

class MainWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    // timesyncd, chrony (synchronized, enabled, active), ntpsec, a page each; the first tick is over unless told.
    void open(bool firstTick = true)
    {
        FakeScript &s = fakeScript();
        s.add(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.add(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.add(NtpsecPackage, "ntpsec", ServiceNotActive, 0);
        s.widgets = {new QWidget, new QWidget, new QWidget};
        s.activeName = QStringLiteral("chrony");
        window = std::make_unique<MainWindow>(true);
        if (firstTick) {
            tick();
        }
        s.calls.clear();
    }

    template<typename T = QAction>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QListView *view() const
    {
        return child<QListView>("servicesListView");
    }
    // As a click: only an enabled action (Qt 6 ignores a disabled one's trigger).
    void trigger(const QByteArray &action)
    {
        QAction *command = child(action.constData());
        QVERIFY2(command->isEnabled(), action.constData());
        command->trigger();
    }
    void select(int row)
    {
        view()->selectionModel()->setCurrentIndex(view()->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    }
    int role(const char *service, int role = stateRole) const
    {
        const auto found = view()->model()->match(view()->model()->index(0, 0), Qt::DisplayRole, QLatin1String(service), 1, Qt::MatchExactly);
        return found.value(0).data(role).toInt();
    }
    QString current() const
    {
        return view()->currentIndex().data().toString();
    }
    QWidget *page() const
    {
        return child<QStackedWidget>("stackedWidget")->currentWidget();
    }
    // One tick of the 5-second poll.
    void tick()
    {
        QMetaObject::invokeMethod(child<QTimer>("updateTimer"), "timeout");
    }
    QString status() const
    {
        return child<QLabel>("statusTextLabel")->text();
    }
    // The window's actions and the buttons that stand for them, when enabled.
    QStringList enabledCommands() const
    {
        QStringList names;
        for (QObject *o : window->findChildren<QObject *>()) {
            auto *button = qobject_cast<QPushButton *>(o);
            const bool command = (button && button->window() == window.get()) || (qobject_cast<QAction *>(o) && o->parent() == window.get());
            if (command && o->property("enabled").toBool()) {
                names << o->objectName();
            }
        }
        return names;
    }

private Q_SLOTS:
    void init()
    {
        fakeScript() = FakeScript();
        clearSettings();
    }

    void cleanup()
    {
        window.reset();
    }

    // Nothing installed, systemd silent: one warning, every per-service command off. A page
    // without a listed service leaves them on with no row current: each says so, calls nothing.
    void emptyMachine()
    {
        const char *perService[] = {"startStopServiceAction", "restartServiceAction", "enDisServiceAction", "deleteServiceAction", "serviceSettAction"};
        fakeScript().sysAlive = false;
        ModalAnswerer modals;
        window = std::make_unique<MainWindow>(true);
        tick();
        QVERIFY(child<QTimer>("updateTimer")->isActive()); // the window goes on
        for (const char *action : perService) {
            QVERIFY2(!child(action)->isEnabled(), action);
        }
        // Breeze lacks several of the icons' names; stand-ins fill in.
        for (QAction *action : window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
            QVERIFY2(!action->icon().availableSizes().isEmpty(), qPrintable(action->objectName()));
        }
        window.reset();
        fakeScript() = FakeScript();
        fakeScript().services.insert(TimesyncdPackage, nullptr);
        fakeScript().widgets = {new QWidget};
        window = std::make_unique<MainWindow>(true);
        tick();
        fakeScript().calls.clear();
        for (const char *action : perService) {
            if (action != perService[4]) { // the settings need no selection
                trigger(action);
            }
        }
        QCOMPARE(modals.seen.count(QStringLiteral("No one service has been selected")), 4);
        QCOMPARE(fakeScript().calls, QStringList());
    }

    // Rows in key order without gaps; the active row, its page and the controller's selection agree.
    void listWithGaps()
    {
        FakeScript &s = fakeScript();
        s.services.insert(TimesyncdPackage, nullptr);
        s.add(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.add(OpenntpdPackage, "openntpd", ServiceNotActive, 0);
        s.widgets = {nullptr, new QWidget, new QWidget};
        s.activeName = QStringLiteral("openntpd");
        window = std::make_unique<MainWindow>(true);
        QCOMPARE(view()->model()->rowCount(), 2);
        QCOMPARE(s.service("openntpd")->row, 1);
        QCOMPARE(s.selectedRow, 1);
        QCOMPARE(page(), s.widgets[2]);
        s.calls.clear();
        select(0);
        QCOMPARE(s.calls.value(0), QStringLiteral("setCurrentSelectedService 0"));
    }

    // The cached state or start-at-boot flag picks the command; the machine's answer after it
    // shows at once, without a rebuild, after the reason of a failed start.
    void serviceCommands_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QString>("call"); // on ntpsec (inactive) or chrony (synchronized, enabled)
        QTest::addColumn<int>("after");
        QTest::addColumn<QString>("failure");
        const QByteArray startStop("startStopServiceAction"), boot("enDisServiceAction");
        QTest::newRow("start") << startStop << QStringLiteral("startServiceByDbus ntpsec") << 3 << QString();
        QTest::newRow("start fails") << startStop << QStringLiteral("startServiceByDbus ntpsec") << 2 << QStringLiteral("Job failed.");
        QTest::newRow("stop") << startStop << QStringLiteral("stopServiceByDbus chrony") << 1 << QString();
        QTest::newRow("restart fails, placeholders stay")
            << QByteArray("restartServiceAction") << QStringLiteral("restartServiceByDbus chrony") << 2 << QStringLiteral("%1 and %2");
        QTest::newRow("enable") << boot << QStringLiteral("enableServiceByDbus ntpsec") << 1 << QString();
        QTest::newRow("disable") << boot << QStringLiteral("disableServiceByDbus chrony") << 0 << QString();
    }

    void serviceCommands()
    {
        QFETCH(QByteArray, action);
        QFETCH(QString, call);
        QFETCH(int, after);
        QFETCH(QString, failure);
        open();
        FakeScript &s = fakeScript();
        const QByteArray name = call.section(QLatin1Char(' '), 1).toLatin1();
        const int role = action == "enDisServiceAction" ? bootRole : stateRole;
        select(name == "chrony" ? 1 : 2);
        s.startResult = failure;
        s.hooks[call.section(QLatin1Char(' '), 0, 0)] = [&] {
            FakeService *service = s.service(name.constData());
            (role == stateRole ? service->state : service->enabling) = after;
        };
        int whileOpen = -1;
        ModalAnswerer modals;
        modals.press(QMessageBox::Ok, [&] {
            whileOpen = this->role(name.constData(), role);
        });
        trigger(action);
        QCOMPARE(s.named(strings({"startServiceByDbus", "stopServiceByDbus", "restartServiceByDbus", "enableServiceByDbus", "disableServiceByDbus"})),
                 QStringList{call});
        QCOMPARE(this->role(name.constData(), role), after);
        QCOMPARE(s.count(reloadCall), 0);
        QCOMPARE(current(), QLatin1String(name));
        QCOMPARE(modals.seen.size(), failure.isEmpty() ? 0 : 1);
        if (!failure.isEmpty()) {
            QVERIFY2(modals.seen[0].contains(QLatin1String(name)) && modals.seen[0].endsWith(QLatin1Char('\n') + failure), qPrintable(modals.seen[0]));
            QVERIFY(whileOpen != after); // read again after the message
        }
    }

    // Rebuilt on the first tick, on every tick while the state is 0 and once more when it is not;
    // never over unsaved changes. No state is read while the settings dialog is open.
    void refreshRule()
    {
        open(false);
        FakeScript &s = fakeScript();
        select(0); // the user's choice in the first seconds
        tick();
        tick();
        QCOMPARE(s.count(reloadCall), 1);
        // The rebuild keeps the user's choice, in the list and the controller.
        QCOMPARE(current(), QStringLiteral("systemd-timesyncd"));
        QCOMPARE(s.selectedRow, 0);
        s.service("systemd-timesyncd")->state = NoInstalledService;
        tick();
        tick();
        QCOMPARE(s.count(reloadCall), 3);
        s.service("systemd-timesyncd")->state = ServiceNotSynchronized;
        tick();
        tick();
        QCOMPARE(s.count(reloadCall), 4);
        QCOMPARE(role("systemd-timesyncd"), int(ServiceNotSynchronized));

        s.calls.clear();
        s.settingsOpened = true;
        tick();
        QCOMPARE(s.count(QStringLiteral("getCurrentServiceState")), 0);
        s.settingsOpened = false;
        Q_EMIT s.controller->oneServiceChanged();
        s.service("systemd-timesyncd")->state = NoInstalledService;
        ModalAnswerer modals;
        tick();
        tick();
        QCOMPARE(s.count(reloadCall), 0);
        QCOMPARE(modals.seen, QStringList());
    }

    // The controller's calls and the message boxes run the event loop: a tick or the user may
    // rebuild the list or select another row while a command holds the row it started on.
    void rebuildInsideACommand_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QString>("call");
        QTest::newRow("start") << QByteArray("startStopServiceAction") << QStringLiteral("startServiceByDbus");
        QTest::newRow("restart") << QByteArray("restartServiceAction") << QStringLiteral("restartServiceByDbus");
        QTest::newRow("start at boot") << QByteArray("enDisServiceAction") << QStringLiteral("enableServiceByDbus");
    }

    void rebuildInsideACommand()
    {
        QFETCH(QByteArray, action);
        QFETCH(QString, call);
        open();
        FakeScript &s = fakeScript();
        select(2); // ntpsec
        // A tick that reads ntpsec as not installed rebuilds the list without timesyncd and with
        // openntpd: ntpsec moves up a row, openntpd takes row 2. The next tick sees ntpsec again.
        s.hooks[call] = [this, &s] {
            s.services.remove(TimesyncdPackage);
            s.add(OpenntpdPackage, "openntpd", ServiceNotActive, 0);
            s.service("ntpsec")->state = NoInstalledService;
            tick();
            s.service("ntpsec")->state = ServiceSynchronized;
            s.service("ntpsec")->enabling = 1;
            tick();
        };
        trigger(action);
        // The answer went to ntpsec, kept selected by the rebuild, not to the row it started on.
        QCOMPARE(current(), QStringLiteral("ntpsec"));
        QCOMPARE(role("openntpd"), int(ServiceNotActive));
        QCOMPARE(role("openntpd", bootRole), 0);
    }

    void otherNestedLoops()
    {
        open();
        FakeScript &s = fakeScript();
        // timesyncd selected while chrony's stop waits: the answer goes to timesyncd's row.
        select(1);
        s.service("systemd-timesyncd")->state = ServiceNotSynchronized;
        s.hooks[QStringLiteral("stopServiceByDbus")] = [this] {
            select(0);
        };
        trigger("startStopServiceAction");
        QCOMPARE(role("systemd-timesyncd"), int(ServiceNotSynchronized));
        QCOMPARE(role("chrony"), int(ServiceSynchronized));
        // A tick that wants a rebuild (state 0) while the controller reloads.
        s.service("systemd-timesyncd")->state = NoInstalledService;
        s.hooks[reloadCall] = [this, &s] {
            s.hooks.remove(reloadCall);
            tick();
        };
        trigger("reloadAction");
        QCOMPARE(s.count(reloadCall), 1);
        // The list emptied while a command waits, rebuilt by a tick.
        s.hooks[QStringLiteral("stopServiceByDbus")] = [this, &s] {
            s.services.clear();
            s.widgets.clear();
            tick();
        };
        trigger("startStopServiceAction");
        QCOMPARE(view()->model()->rowCount(), 0);
        QVERIFY(!child("startStopServiceAction")->isEnabled());
    }

    // Every command is off while one waits, then as the rules say now; or the host deletes the window meanwhile.
    void commandsLockedWhileWaiting_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("deleted");
        const char *commands[][2] = {{"startStopServiceAction", "stopServiceByDbus"},
                                     {"restartServiceAction", "restartServiceByDbus"},
                                     {"enDisServiceAction", "disableServiceByDbus"},
                                     {"serviceSettAction", "openMainSettingsDialog"},
                                     {"reloadAction", "reloadSystemState"},
                                     {"deleteServiceAction", "tryToUninstallCurrentService"},
                                     {"saveAction", "applyConfig"}};
        for (const auto &command : commands) {
            for (const bool deleted : {false, true}) {
                QTest::addRow("%s%s", command[0], deleted ? ", deleted" : "") << QByteArray(command[0]) << QString::fromLatin1(command[1]) << deleted;
            }
        }
        // Reading the servers runs no loop; the dialog after it does.
        QTest::newRow("syncNowAction") << QByteArray("syncNowAction") << QStringLiteral("getListServersToSync") << false;
    }

    void commandsLockedWhileWaiting()
    {
        QFETCH(QByteArray, action);
        QFETCH(QString, call);
        QFETCH(bool, deleted);
        open();
        FakeScript &s = fakeScript();
        s.applyAnswer = FakeScript::Silent;
        QStringList expected = enabledCommands();
        expected.removeOne(QStringLiteral("restartServiceAction"));
        expected.removeOne(QStringLiteral("enDisServiceAction"));
        expected.prepend(QStringLiteral("saveAction")); // the form's first
        if (action == "saveAction") {
            Q_EMIT s.controller->oneServiceChanged(); // the edit that enables it
        }
        QStringList whileWaiting{QStringLiteral("never asked")};
        s.hooks[call] = [&] {
            whileWaiting = enabledCommands();
            Q_EMIT s.controller->oneServiceChanged();
            Q_EMIT view()->doubleClicked(view()->currentIndex()); // held as well
            if (deleted) {
                window.reset();
            }
        };
        ModalAnswerer modals;
        modals.press(QMessageBox::Yes); // the removal question
        trigger(action);
        QCOMPARE(whileWaiting, QStringList());
        QCOMPARE(s.count(QStringLiteral("openMainSettingsDialog")), action == "serviceSettAction" ? 1 : 0);
        if (deleted) { // nothing asked of the deleted controller
            QCOMPARE(s.calls.last(), QStringLiteral("~LogicController"));
        } else {
            QCOMPARE(enabledCommands(), expected);
        }
    }

    // Closing and reloading ask about unsaved changes; a failed save keeps the window and the changes.
    void unsavedChangesQuestion_data()
    {
        QTest::addColumn<bool>("reload");
        QTest::addColumn<int>("answer"); // NoButton: Escape
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<bool>("goesOn");
        for (const bool reload : {false, true}) {
            const char *what = reload ? "reload" : "close";
            QTest::addRow("%s, yes", what) << reload << int(QMessageBox::Yes) << false << true;
            QTest::addRow("%s, no", what) << reload << int(QMessageBox::No) << false << true;
            QTest::addRow("%s, cancel", what) << reload << int(QMessageBox::Cancel) << false << false;
            QTest::addRow("%s, escape", what) << reload << int(QMessageBox::NoButton) << false << false;
            QTest::addRow("%s, yes, save fails", what) << reload << int(QMessageBox::Yes) << true << false;
        }
    }

    void unsavedChangesQuestion()
    {
        QFETCH(bool, reload);
        QFETCH(int, answer);
        QFETCH(bool, saveFails);
        QFETCH(bool, goesOn);
        open();
        FakeScript &s = fakeScript();
        window->show();
        select(2);
        Q_EMIT s.controller->oneServiceChanged();
        s.applyAnswer = saveFails ? FakeScript::Failed : FakeScript::Written;
        s.calls.clear();
        QSignalSpy changed(window.get(), &MainWindow::changed);
        ModalAnswerer modals;
        modals.press(QMessageBox::StandardButton(answer));
        if (reload) {
            trigger("reloadAction");
        } else {
            QCOMPARE(window->close(), goesOn);
        }
        QCOMPARE(modals.seen.size(), saveFails ? 2 : 1);
        QCOMPARE(s.count(QStringLiteral("applyConfig")), answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(s.count(reloadCall), reload && goesOn ? 1 : 0);
        QCOMPARE(current(), QLatin1String(reload && goesOn ? "chrony" : "ntpsec"));
        QCOMPARE(window->isVisible(), reload || !goesOn);
        // The geometry is stored exactly when the window closes.
        QCOMPARE(QSettings().contains(QStringLiteral("geometry")), !reload && goesOn);
        // The host hears of the written or dropped changes; a failed save keeps them.
        QCOMPARE(changed.isEmpty() ? true : changed.last().value(0).toBool(), !goesOn || (!reload && answer == QMessageBox::No));
        QCOMPARE(child("saveAction")->isEnabled(), !goesOn || (!reload && answer == QMessageBox::No));
    }

    // kcmshell5's dialog closes by its close event, Escape or its Close button;
    // System Settings' main window asks by itself.
    void hostWindowClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer"); // -1: nothing changed
        QTest::newRow("unchanged") << "button" << -1;
        QTest::newRow("yes") << "title bar" << int(QMessageBox::Yes);
        QTest::newRow("no") << "escape" << int(QMessageBox::No);
        for (const char *how : {"title bar", "escape", "button"}) {
            QTest::newRow(how) << how << int(QMessageBox::Cancel);
        }
        // A second close while the question is open is refused, not asked again.
        QTest::newRow("again, yes") << "button, again" << int(QMessageBox::Yes);
        QTest::newRow("again, cancel") << "title bar, again" << int(QMessageBox::Cancel);
        QTest::newRow("main window host") << "main window" << int(QMessageBox::Cancel);
    }

    void hostWindowClose()
    {
        QFETCH(QString, how);
        QFETCH(int, answer);
        FakeScript &s = fakeScript();
        const bool dialog = how != QLatin1String("main window");
        QMainWindow mainHost;
        QDialog dialogHost;
        auto *embedded = new MainWindow(true);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialogHost);
        connect(buttons, &QDialogButtonBox::rejected, &dialogHost, &QDialog::reject);
        QWidget *host = dialog ? static_cast<QWidget *>(&dialogHost) : &mainHost;
        dialog ? (new QVBoxLayout(host))->addWidget(embedded) : mainHost.setCentralWidget(embedded);
        host->show();
        ModalAnswerer modals;
        if (answer >= 0) {
            Q_EMIT s.controller->oneServiceChanged();
            modals.press(QMessageBox::StandardButton(answer), [&] {
                if (how.endsWith(QLatin1String("again"))) {
                    host->close();
                    embedded->close();
                }
            });
        }
        if (how.startsWith(QLatin1String("escape"))) {
            QTest::keyClick(embedded->findChild<QListView *>(), Qt::Key_Escape);
        } else if (how.startsWith(QLatin1String("button"))) {
            buttons->button(QDialogButtonBox::Close)->click();
        } else {
            host->close();
        }
        const bool asks = dialog && answer >= 0;
        QCOMPARE(modals.seen.size(), asks ? 1 : 0);
        QCOMPARE(s.count(QStringLiteral("applyConfig")), asks && answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(host->isVisible(), asks && answer == QMessageBox::Cancel);
    }

    // A false answer of isServiceConflicting() blocks the start, except with a single installed
    // service, and a written change does not unblock it.
    void conflictBlocksStart()
    {
        FakeScript &s = fakeScript();
        s.add(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.widgets = {new QWidget, new QWidget};
        s.startAllowed = false;
        window = std::make_unique<MainWindow>(true);
        QVERIFY(child("startStopServiceAction")->isEnabled());
        s.add(ChronyPackage, "chrony", ServiceSynchronized, 1);
        Q_EMIT s.controller->oneServiceChanged();
        Q_EMIT s.controller->confWrited();
        QVERIFY(!child("startStopServiceAction")->isEnabled());
        QVERIFY(!child("restartServiceAction")->isEnabled());
    }

    void lastSynchroInfo()
    {
        open(false);
        FakeScript &s = fakeScript();
        QLabel *icon = child<QLabel>("statusIconLabel");
        const QString request = QStringLiteral("getLastSynchroInfoAsync");
        // The poll runs by itself; one request at a time.
        QTRY_COMPARE_WITH_TIMEOUT(s.count(request), 1, 30000);
        tick();
        QCOMPARE(s.named({request}), QStringList{request + QLatin1String(" 5000")});
        // Fields are shown as they are, placeholders and all.
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("%2"), QStringLiteral("%4 %1"), QStringLiteral("srv%3")});
        for (const char *field : {"%2\n", "%4 %1\n", "srv%3"}) {
            QVERIFY2(icon->toolTip().contains(QLatin1String(field)), qPrintable(icon->toolTip()));
        }
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("d"), QStringLiteral("t"), QString()});
        QVERIFY(icon->toolTip().isEmpty()); // no server: nothing to show
        tick();
        QCOMPARE(s.count(request), 2);
        // A timeout ends the requests.
        Q_EMIT s.controller->lastSynchroInfoTimeout();
        QVERIFY(icon->toolTip().isEmpty());
        tick();
        QCOMPARE(s.count(request), 2);
    }

    // A package manager that did not start is named by its package; nothing is listed before a reload.
    void packages_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<int>("answer"); // to the dialog or the question
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("reply");
        const QByteArray add("plusBtn"), remove("minusBtn");
        const int yes = QMessageBox::Yes, cancel = QMessageBox::Cancel;
        QTest::newRow("install cancelled") << add << cancel << true << QStringList() << QStringLiteral("ChoosePackDialog");
        QTest::newRow("install") << add << yes << true << strings({"tryToInstallService openntpd"}) << QStringLiteral("reload the configuration");
        QTest::newRow("install fails") << add << yes << false << strings({"tryToInstallService openntpd", "getPackageNameByServiceName openntpd"})
                                       << QStringLiteral("openntpd-pkg");
        QTest::newRow("removal cancelled") << remove << cancel << true << QStringList() << QStringLiteral("ntpsec");
        QTest::newRow("removal") << remove << yes << true << strings({"tryToUninstallCurrentService ntpsec"}) << QStringLiteral("reload the configuration");
        QTest::newRow("removal fails") << remove << yes << false << strings({"tryToUninstallCurrentService ntpsec", "getPackageNameByServiceName ntpsec"})
                                       << QStringLiteral("ntpsec-pkg");
    }

    void packages()
    {
        QFETCH(QByteArray, action);
        QFETCH(int, answer);
        QFETCH(bool, starts);
        QFETCH(QStringList, calls);
        QFETCH(QString, reply);
        open();
        FakeScript &s = fakeScript();
        s.packageManagerStarts = starts;
        s.notInstalled = strings({"zoned", "openntpd"});
        // Names that are not installed themselves are dropped from the list.
        s.conflicts = {{QStringLiteral("openntpd"), strings({"chrony", "zoned", "ntpsec"})}};
        select(2);
        QString conflictText;
        ModalAnswerer modals;
        if (action == "plusBtn") {
            modals.expect([&](QDialog *d) {
                d->findChild<QComboBox *>()->setCurrentText(QStringLiteral("openntpd"));
                conflictText = d->findChild<QLabel *>(QStringLiteral("conflictLabel"))->text();
                d->done(answer == QMessageBox::Yes);
            });
        }
        modals.press(QMessageBox::StandardButton(answer));
        child<QPushButton>(action.constData())->click();
        QCOMPARE(s.named(strings({"tryToInstallService", "tryToUninstallCurrentService", "getPackageNameByServiceName"})), calls);
        QVERIFY2(modals.seen.last().contains(reply), qPrintable(modals.seen.join(QLatin1Char('|'))));
        QCOMPARE(conflictText, action == "plusBtn" ? QStringLiteral("chrony, ntpsec") : QString());
        QCOMPARE(s.count(reloadCall), 0);
    }

    // A tick rebuilds the list during the question: the named service's package goes, or nothing.
    void removalKeepsToTheNamedService()
    {
        for (const bool listed : {true, false}) {
            cleanup();
            init();
            open(false);
            FakeScript &s = fakeScript();
            select(2); // ntpsec
            ModalAnswerer modals;
            modals.press(QMessageBox::Yes, [&] {
                s.services.remove(TimesyncdPackage);
                s.services.remove(listed ? TimesyncdPackage : NtpsecPackage);
                tick();
            });
            trigger("deleteServiceAction");
            QCOMPARE(s.count(reloadCall), 1);
            QCOMPARE(s.named({QStringLiteral("tryToUninstallCurrentService")}), listed ? strings({"tryToUninstallCurrentService ntpsec"}) : QStringList());
            QVERIFY(modals.seen.value(1).contains(QLatin1String(listed ? "reload the configuration" : "Nothing was removed")));
        }
    }

    // The wait message shows while the controller is asked. ntpdig's own report names no cause the user could act
    // on; the library's texts stay. The status follows the box, and the permanent line comes back with the poll.
    void syncNow()
    {
        open();
        FakeScript &s = fakeScript();
        s.servers = strings({"a.example"});
        const QString before = status();
        QStringList lines;
        s.hooks[QStringLiteral("saveAddrAndSyncNow")] = [&] {
            lines << status();
        };
        ModalAnswerer modals;
        modals.expect([&](QDialog *d) {
            d->findChild<QLineEdit *>()->clear();
            QTest::keyClicks(d->findChild<QLineEdit *>(), QStringLiteral("time.example.org"));
            d->findChild<QPushButton *>(QStringLiteral("syncButton"))->click();
        });
        for (int i = 0; i < 2; ++i) {
            modals.press(QMessageBox::Ok, [&] {
                lines << status();
            });
        }
        trigger("syncNowAction");
        Q_EMIT s.controller->syncError(QStringLiteral("ntpdig: no servers can be used, exiting"));
        Q_EMIT s.controller->syncError(QStringLiteral("The program ntpdig was not found."));
        QCOMPARE(s.named({QStringLiteral("saveAddrAndSyncNow")}), strings({"saveAddrAndSyncNow time.example.org"}));
        QCOMPARE(modals.seen.mid(1), strings({"ntpdig: no eligible servers", "The program ntpdig was not found."}));
        QCOMPARE(lines.value(0), QStringLiteral("Waiting for time sync"));
        QCOMPARE(lines.value(1), lines.value(0));
        QVERIFY(status() != lines.value(0));
        Q_EMIT s.controller->syncOK();
        QVERIFY(!child<QTimer>("updateTimer")->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(child<QTimer>("updateTimer")->isActive(), 30000);
        QCOMPARE(status(), before);
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowTest)

#include "tst_mainwindow.moc"
