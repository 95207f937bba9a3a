// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The service list with its settings pages, the reload command, and the
// last-synchronization tool tip.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "themeicon.h"
#include "widgettest.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <memory>

namespace
{
const QString reloadCall = QStringLiteral("reloadSystemState");
const QString applyCall = QStringLiteral("applyConfig");
const QString loadingTip = QStringLiteral("Last synchronization info is loading...");

// A page for each service, owned by the window's stack once it is built.
QWidget *page(const QString &name)
{
    auto *widget = new QWidget;
    widget->setObjectName(name);
    return widget;
}
}

class MainWindowServicesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;

    void open()
    {
        window = std::make_unique<MainWindow>(true);
        probe = std::make_unique<MainWindowProbe>(window.get());
    }

    QListView *view() const
    {
        return window->findChild<QListView *>(QStringLiteral("servicesListView"));
    }
    QStackedWidget *stack() const
    {
        return window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    }
    QAction *action(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QLatin1String(name));
    }
    QStringList rows() const
    {
        QStringList names;
        for (int row = 0; row < view()->model()->rowCount(); ++row) {
            names << view()->model()->index(row, 0).data().toString();
        }
        return names;
    }
    int currentRow() const
    {
        return view()->currentIndex().row();
    }
    void select(int row)
    {
        view()->selectionModel()->setCurrentIndex(view()->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    }

    // Three services in key order, chrony active, a page each.
    void threeServices()
    {
        FakeScript &s = fakeScript();
        s.addService(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.addService(OpenntpdPackage, "openntpd", ServiceNotSynchronized, 1);
        s.widgets = {page(QStringLiteral("timesyncd page")), page(QStringLiteral("chrony page")), page(QStringLiteral("openntpd page"))};
        s.activeName = QStringLiteral("chrony");
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

    void noInstalledService()
    {
        open();
        QCOMPARE(view()->model()->rowCount(), 0);
        QVERIFY(!view()->currentIndex().isValid());
        QCOMPARE(fakeScript().count(QStringLiteral("setCurrentSelectedService")), 0);
        QCOMPARE(stack()->count(), 0);
        for (const char *name : {"startStopServiceAction", "restartServiceAction", "enDisServiceAction", "serviceSettAction", "deleteServiceAction"}) {
            QVERIFY2(!action(name)->isEnabled(), name);
        }
        QVERIFY(!button("minusBtn")->isEnabled());
        QVERIFY(!button("settBtn")->isEnabled());
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("No installed services."));
        // Never selected: the form's texts stay, with the catalog tool tips.
        QCOMPARE(action("startStopServiceAction")->toolTip(), QStringLiteral("Stop service"));
        QVERIFY(action("enDisServiceAction")->toolTip().endsWith(QLatin1String("this. ")));

        // A tick reads state 0: the stop form comes, and the rebuild takes it away again.
        probe->tick();
        QCOMPARE(fakeScript().count(reloadCall), 1);
        QVERIFY(!action("startStopServiceAction")->isEnabled());
        QCOMPARE(action("startStopServiceAction")->text(), QStringLiteral("St&op service"));
    }

    // Entries in key order as "name state enabling", "-" for a null entry;
    // each has a page named by its position, none for a null entry.
    void rowsFollowTheMap_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("active");
        QTest::addColumn<QStringList>("icons"); // per row, empty: none
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("currentPage");
        const QStringList three{QStringLiteral("systemd-timesyncd 1 0"), QStringLiteral("chrony 3 1"), QStringLiteral("openntpd 2 1")};
        const QStringList threeIcons{QStringLiteral("media-playback-stop-symbolic"), QStringLiteral("dialog-on"), QStringLiteral("dialog-warning")};
        QTest::newRow("active selected") << three << QStringLiteral("chrony") << threeIcons << 1 << QStringLiteral("1");
        QTest::newRow("another active") << three << QStringLiteral("ntpsec") << threeIcons << 0 << QStringLiteral("0");
        QTest::newRow("none active") << three << QString() << threeIcons << 0 << QStringLiteral("0");
        QTest::newRow("case differs") << three << QStringLiteral("Chrony") << threeIcons << 0 << QStringLiteral("0");
        QTest::newRow("odd states, no icon") << QStringList{QStringLiteral("chrony 0 1"), QStringLiteral("ntpsec 8 1")} << QString()
                                             << QStringList{QString(), QString()} << 0 << QStringLiteral("0");
        QTest::newRow("two rows with the active name")
            << QStringList{QStringLiteral("systemd-timesyncd 1 0"), QStringLiteral("chrony 3 1"), QStringLiteral("chrony 1 0")} << QStringLiteral("chrony")
            << QStringList{threeIcons[0], threeIcons[1], threeIcons[0]} << 1 << QStringLiteral("1");
        QTest::newRow("null entries leave no gap") << QStringList{QStringLiteral("-"),
                                                                  QStringLiteral("chrony 3 1"),
                                                                  QStringLiteral("-"),
                                                                  QStringLiteral("openntpd 1 0")}
                                                   << QStringLiteral("openntpd") << QStringList{threeIcons[1], threeIcons[0]} << 1 << QStringLiteral("3");
    }

    void rowsFollowTheMap()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, active);
        QFETCH(QStringList, icons);
        QFETCH(int, current);
        QFETCH(QString, currentPage);
        FakeScript &s = fakeScript();
        const PackageIndex keys[] = {TimesyncdPackage, ChronyPackage, NtpsecPackage, OpenntpdPackage};
        QList<QStringList> listed;
        QList<FakeService *> listedServices;
        for (int i = 0; i < entries.size(); ++i) {
            const QStringList e = entries[i].split(QLatin1Char(' '));
            if (e.size() < 3) {
                s.services.insert(keys[i], nullptr);
                s.widgets << nullptr;
                continue;
            }
            listed << e;
            listedServices << s.addService(keys[i], e[0].toLatin1(), e[1].toInt(), e[2].toInt());
            s.widgets << page(QString::number(i));
        }
        s.activeName = active;
        open();

        QAbstractItemModel *model = view()->model();
        QCOMPARE(model->rowCount(), listed.size());
        QCOMPARE(s.count(QStringLiteral("setModelIndex")), listed.size());
        for (int row = 0; row < listed.size(); ++row) {
            const QModelIndex index = model->index(row, 0);
            QCOMPARE(index.data().toString(), listed[row][0]);
            QCOMPARE(listedServices[row]->modelIndex, row);
            QCOMPARE(index.data(MainWindow::ServiceStateRole).toInt(), listed[row][1].toInt());
            QCOMPARE(index.data(MainWindow::ServiceEnablingRole).toInt(), listed[row][2].toInt());
            QVERIFY(!(model->flags(index) & Qt::ItemIsEditable));
            QVERIFY(index.data(Qt::ToolTipRole).isNull());
            if (icons[row].isEmpty()) {
                QVERIFY(index.data(Qt::DecorationRole).isNull());
            } else {
                QCOMPARE(iconImage(index.data(Qt::DecorationRole).value<QIcon>()), iconImage(themeIcon(icons[row].toLatin1().constData())));
            }
        }
        QCOMPARE(view()->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(currentRow(), current);
        QCOMPARE(s.selectedRow, current);
        QCOMPARE(stack()->count(), listed.size());
        QCOMPARE(stack()->currentWidget()->objectName(), currentPage);
    }

    void selectionDrivesPageControllerAndActions()
    {
        FakeScript &s = fakeScript();
        threeServices();
        open();
        s.clearCalls();
        s.mainSettingsAvailable = false;
        button("minusBtn")->setToolTip(QStringLiteral("changed meanwhile"));

        select(0);
        QCOMPARE(stack()->currentWidget()->objectName(), QStringLiteral("timesyncd page"));
        // The controller hears of the new row before it is asked anything about it.
        QCOMPARE(
            s.callNames().mid(0, 3),
            QStringList({QStringLiteral("setCurrentSelectedService"), QStringLiteral("isMainSettingsAvailable"), QStringLiteral("isMainSettingsAvailable")}));
        QCOMPARE(s.lastArgs(QStringLiteral("setCurrentSelectedService")), QVariantList({0}));
        QVERIFY(!action("serviceSettAction")->isEnabled());
        QVERIFY(!button("settBtn")->isEnabled());
        // The cached roles, not fresh queries, give status and actions.
        QCOMPARE(s.count(QStringLiteral("getCurrentServiceState")), 0);
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Synchronization service is not active."));
        QCOMPARE(action("startStopServiceAction")->text(), QStringLiteral("S&tart service"));
        QCOMPARE(action("enDisServiceAction")->text(), QStringLiteral("E&nable service"));
        QCOMPARE(button("minusBtn")->toolTip(), QStringLiteral("Delete current service"));
        QVERIFY(button("minusBtn")->isEnabled());
        QVERIFY(action("deleteServiceAction")->isEnabled());

        // Only deselecting changes nothing; the current index stays for the commands.
        s.clearCalls();
        view()->selectionModel()->select(view()->currentIndex(), QItemSelectionModel::Deselect);
        QCOMPARE(s.count(QStringLiteral("setCurrentSelectedService")), 0);
        QCOMPARE(stack()->currentWidget()->objectName(), QStringLiteral("timesyncd page"));
        QCOMPARE(currentRow(), 0);
    }

    void reloadGoesBackToTheActiveService()
    {
        FakeScript &s = fakeScript();
        threeServices();
        open();
        select(2);
        QPointer<QAbstractItemModel> oldModel = view()->model();
        s.clearCalls();
        BoxAnswerer boxes;
        action("reloadAction")->trigger();
        QVERIFY(boxes.seen.isEmpty()); // nothing unsaved: no question
        QCOMPARE(s.callNames({reloadCall, QStringLiteral("getInstalledServicesMap"), QStringLiteral("getInstalledServiceWidgets")}).mid(0, 2),
                 QStringList({reloadCall, QStringLiteral("getInstalledServicesMap")}));
        QVERIFY(oldModel.isNull());
        QCOMPARE(currentRow(), 1);
        QCOMPARE(stack()->currentWidget()->objectName(), QStringLiteral("chrony page"));
        QCOMPARE(stack()->count(), 3);
        QVERIFY(!action("saveAction")->isEnabled());
    }

    void reloadWithUnsavedChanges_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("writeFails");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("stillChanged");
        QTest::newRow("yes") << int(QMessageBox::Yes) << false << QStringList({applyCall, reloadCall}) << false;
        QTest::newRow("no") << int(QMessageBox::No) << false << QStringList({reloadCall}) << false;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << QStringList() << true;
        QTest::newRow("escape") << int(QMessageBox::NoButton) << false << QStringList() << true;
        QTest::newRow("yes, save fails") << int(QMessageBox::Yes) << true << QStringList({applyCall}) << true;
    }

    void reloadWithUnsavedChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, writeFails);
        QFETCH(QStringList, calls);
        QFETCH(bool, stillChanged);
        FakeScript &s = fakeScript();
        threeServices();
        open();
        probe->tick(); // past the first tick's rebuild
        select(2);
        Q_EMIT s.controller->oneServiceChanged();
        QSignalSpy changed(window.get(), &MainWindow::changed);
        s.applyAnswer = writeFails ? FakeScript::ApplyAnswer::Failed : FakeScript::ApplyAnswer::Written;
        s.clearCalls();

        BoxAnswerer boxes(window.get());
        if (answer == QMessageBox::NoButton) {
            boxes.expectEscape();
        } else {
            boxes.expect(QMessageBox::StandardButton(answer));
        }
        if (writeFails) {
            boxes.expect(QMessageBox::Ok);
        }
        action("reloadAction")->trigger();

        QCOMPARE(boxes.seen.size(), writeFails ? 2 : 1);
        QCOMPARE(boxes.seen[0],
                 box(QStringLiteral("Unsaved changes"),
                     QStringLiteral("Configuration was changed but not saved. \nDo you want to save changes?"),
                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                     QMessageBox::Question));
        if (writeFails) {
            QCOMPARE(boxes.seen[1].text, QStringLiteral("Config save failed due to unexpected errors."));
        }
        QCOMPARE(s.callNames({applyCall, reloadCall}), calls);
        QCOMPARE(probe->isConfigChanged(), stillChanged);
        QCOMPARE(action("saveAction")->isEnabled(), stillChanged);
        // Without a reload the user's row stays; with one the active row is back.
        QCOMPARE(currentRow(), calls.contains(reloadCall) ? 1 : 2);
        if (!stillChanged) {
            QVERIFY(!changed.isEmpty());
            QCOMPARE(changed.last()[0].toBool(), false);
        } else {
            QVERIFY(changed.isEmpty());
        }
    }

    // --- last synchronization ------------------------------------------------

    void lastSynchroRequestAndAnswer()
    {
        FakeScript &s = fakeScript();
        threeServices();
        open();
        QLabel *icon = probe->statusIconLabel();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 0); // not before the first tick
        QVERIFY(icon->toolTip().isEmpty());

        probe->tick();
        QCOMPARE(s.lastArgs(QStringLiteral("getLastSynchroInfoAsync")), QVariantList({5000}));
        QVERIFY(probe->lastSynchroInfoRequested());
        QCOMPARE(icon->toolTip(), loadingTip);
        // One request at a time.
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 1);

        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("06.12.2026"), QStringLiteral("10:11:12"), QStringLiteral("ntp.example.org")});
        QVERIFY(!probe->lastSynchroInfoRequested());
        QCOMPARE(icon->toolTip(), QStringLiteral("Last synchronization\nDate: 06.12.2026\nTime: 10:11:12\nServer: ntp.example.org"));
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 2);

        // Fields are shown as they are, placeholders and all.
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("%2"), QStringLiteral("%4 %1"), QStringLiteral("srv%3")});
        QCOMPARE(icon->toolTip(), QStringLiteral("Last synchronization\nDate: %2\nTime: %4 %1\nServer: srv%3"));

        // A server without date and time still gives the lines.
        Q_EMIT s.controller->lastSynchroInfoReceived({QString(), QString(), QStringLiteral("10.0.0.1")});
        QCOMPARE(icon->toolTip(), QStringLiteral("Last synchronization\nDate: \nTime: \nServer: 10.0.0.1"));

        // No server: no information.
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("d"), QStringLiteral("t"), QString()});
        QVERIFY(icon->toolTip().isEmpty());

        // While not synchronized any answer clears the tool tip.
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("d"), QStringLiteral("t"), QStringLiteral("s")});
        QVERIFY(!icon->toolTip().isEmpty());
        probe->fillStatusBar(ServiceNotSynchronized);
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("d"), QStringLiteral("t"), QStringLiteral("s")});
        QVERIFY(icon->toolTip().isEmpty());
    }

    void lastSynchroTimeout()
    {
        FakeScript &s = fakeScript();
        threeServices();
        open();
        QLabel *icon = probe->statusIconLabel();
        probe->tick();
        QCOMPARE(icon->toolTip(), loadingTip);
        Q_EMIT s.controller->lastSynchroInfoTimeout();
        QCOMPARE(QSettings().value(QStringLiteral("disable_last_info")).toBool(), true);
        // Nothing is loading any more.
        QVERIFY(icon->toolTip().isEmpty());
        probe->tick();
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 1);

        // A late answer still shows, but asks for no more.
        Q_EMIT s.controller->lastSynchroInfoReceived({QStringLiteral("d"), QStringLiteral("t"), QStringLiteral("s")});
        QVERIFY(icon->toolTip().startsWith(QLatin1String("Last synchronization\n")));
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 1);

        // Opened again, the module asks for nothing at all.
        cleanup();
        s.clearCalls();
        s.widgets = {page(QString()), page(QString()), page(QString())}; // the old ones went with the window
        open();
        probe->tick();
        QCOMPARE(s.count(QStringLiteral("getLastSynchroInfoAsync")), 0);
        QVERIFY(probe->statusIconLabel()->toolTip().isEmpty());
    }

    void lastSynchroWhileSettingsOpen()
    {
        FakeScript &s = fakeScript();
        threeServices();
        open();
        s.settingsOpened = true;
        s.clearCalls();
        probe->tick();
        // No state refresh, but the request goes out.
        QCOMPARE(s.callNames({QStringLiteral("isSettingsOpened"), QStringLiteral("getCurrentServiceState"), QStringLiteral("getLastSynchroInfoAsync")}),
                 QStringList({QStringLiteral("isSettingsOpened"), QStringLiteral("getLastSynchroInfoAsync")}));
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowServicesTest)

#include "tst_mainwindow_services.moc"
