// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Construction, wiring, the unsaved-changes state and the close question.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "widgettest.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

namespace
{
const QString applyConfig = QStringLiteral("applyConfig");
const SeenBox unsavedBox = box(QStringLiteral("Unsaved changes"),
                               QStringLiteral("Configuration was changed but not saved. \nDo you want to save changes?"),
                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                               QMessageBox::Question);
const QString saveFailedText = QStringLiteral("Config save failed due to unexpected errors.");

template<typename T>
T *child(QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found) {
        qFatal("no child %s", name);
    }
    return found;
}
}

class MainWindowSpineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        fakeScript().reset();
        clearSettings();
    }

    void systemdUnavailableWarnsDuringConstruction()
    {
        fakeScript().sysAlive = false;
        BoxAnswerer boxes;
        boxes.expect(QMessageBox::Ok);
        MainWindow window(true);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].text, QStringLiteral("The correct statuses of services are not available \ndue to the impossibility of starting systemctl."));
        // The window goes on after the warning.
        QVERIFY(fakeScript().controller);
        QVERIFY(window.findChild<QTimer *>(QStringLiteral("updateTimer"))->isActive());
    }

    void controlsReachTheController()
    {
        FakeScript &s = fakeScript();
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.widgets = {new QWidget}; // the window's stack takes it over
        s.activeName = QStringLiteral("chrony");
        MainWindow window(true);
        s.clearCalls();

        child<QAction>(&window, "serviceSettAction")->trigger();
        child<QPushButton>(&window, "settBtn")->click();
        // The double click opens the settings even while the action is disabled.
        child<QAction>(&window, "serviceSettAction")->setEnabled(false);
        Q_EMIT child<QListView>(&window, "servicesListView")->doubleClicked(QModelIndex());
        QCOMPARE(s.count(QStringLiteral("openMainSettingsDialog")), 3);

        // saveAction starts disabled; once enabled it applies.
        auto *saveAction = child<QAction>(&window, "saveAction");
        QVERIFY(!saveAction->isEnabled());
        Q_EMIT s.controller->oneServiceChanged();
        QVERIFY(saveAction->isEnabled());
        saveAction->trigger();
        QCOMPARE(s.count(applyConfig), 1);
        // The controller answered confWrited(): the flag is gone again.
        QVERIFY(!saveAction->isEnabled());
        // The host's save applies whatever the flag says.
        window.save();
        QCOMPARE(s.count(applyConfig), 2);

        // The service commands and the reload reach their handlers.
        s.clearCalls();
        child<QAction>(&window, "startStopServiceAction")->trigger();
        child<QAction>(&window, "restartServiceAction")->trigger();
        child<QAction>(&window, "enDisServiceAction")->trigger();
        child<QAction>(&window, "reloadAction")->trigger();
        QCOMPARE(s.callNames({QStringLiteral("stopServiceByDbus"),
                              QStringLiteral("restartServiceByDbus"),
                              QStringLiteral("disableServiceByDbus"),
                              QStringLiteral("reloadSystemState")}),
                 QStringList({QStringLiteral("stopServiceByDbus"),
                              QStringLiteral("restartServiceByDbus"),
                              QStringLiteral("disableServiceByDbus"),
                              QStringLiteral("reloadSystemState")}));
    }

    void unsavedChangesState()
    {
        FakeScript &s = fakeScript();
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.widgets = {new QWidget}; // the window's stack takes it over
        MainWindow window(true);
        MainWindowProbe probe(&window);
        // The first tick's rebuild is behind us.
        probe.tick();
        QCOMPARE(probe.lastServiceState(), int(ServiceSynchronized));
        QSignalSpy changed(&window, &MainWindow::changed);
        auto *saveAction = child<QAction>(&window, "saveAction");
        auto *restartAction = child<QAction>(&window, "restartServiceAction");
        auto *enDisAction = child<QAction>(&window, "enDisServiceAction");
        // Every report counts, even when the flag is already set.
        Q_EMIT s.controller->oneServiceChanged();
        Q_EMIT s.controller->oneServiceChanged();
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed[0][0].toBool(), true);
        QCOMPARE(changed[1][0].toBool(), true);
        QVERIFY(probe.isConfigChanged());
        QVERIFY(saveAction->isEnabled());
        QVERIFY(!restartAction->isEnabled());
        QVERIFY(!enDisAction->isEnabled());
        // The stop form stays available with unsaved changes.
        QVERIFY(child<QAction>(&window, "startStopServiceAction")->isEnabled());

        // A failed write warns and keeps everything as it was.
        BoxAnswerer boxes(&window);
        boxes.expect(QMessageBox::Ok);
        Q_EMIT s.controller->confWriteError();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0], box(QStringLiteral("Warning!"), saveFailedText, QMessageBox::Ok, QMessageBox::Warning));
        QCOMPARE(changed.size(), 2);
        QVERIFY(probe.isConfigChanged());
        QVERIFY(saveAction->isEnabled());

        // Written: the flag goes, and the selected service's state is read again.
        s.clearCalls();
        Q_EMIT s.controller->confWrited();
        QCOMPARE(s.count(QStringLiteral("getCurrentServiceState")), 1);
        QCOMPARE(changed.size(), 3);
        QCOMPARE(changed[2][0].toBool(), false);
        QVERIFY(!probe.isConfigChanged());
        QVERIFY(!saveAction->isEnabled());
        QVERIFY(restartAction->isEnabled());
        QVERIFY(enDisAction->isEnabled());
    }

    void closeQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("applies");
        QTest::newRow("unchanged: no question") << -1 << false << true << 0;
        QTest::newRow("yes") << int(QMessageBox::Yes) << false << true << 1;
        QTest::newRow("no") << int(QMessageBox::No) << false << true << 0;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false << 0;
        QTest::newRow("escape") << int(QMessageBox::NoButton) << true << false << 0;
    }

    void closeQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, escape);
        QFETCH(bool, closes);
        QFETCH(int, applies);
        FakeScript &s = fakeScript();
        MainWindow window(true);
        window.show();
        BoxAnswerer boxes(&window);
        if (answer >= 0) {
            Q_EMIT s.controller->oneServiceChanged();
            if (escape) {
                boxes.expectEscape();
            } else {
                boxes.expect(QMessageBox::StandardButton(answer));
            }
        }
        QCOMPARE(window.close(), closes);
        QCOMPARE(boxes.seen.size(), answer >= 0 ? 1 : 0);
        if (answer >= 0) {
            QCOMPARE(boxes.seen[0], unsavedBox);
        }
        QCOMPARE(s.count(applyConfig), applies);
        // The geometry is stored exactly when the window closes.
        QCOMPARE(QSettings().value(QStringLiteral("geometry")).toByteArray(), closes ? window.saveGeometry() : QByteArray());
        QCOMPARE(window.isVisible(), !closes);
    }

    // Embedded: kcmshell5's dialog closes by its close event, Escape or its
    // Close button; System Settings' main window asks by itself.
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
        auto *window = new MainWindow(true);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialogHost);
        connect(buttons, &QDialogButtonBox::rejected, &dialogHost, &QDialog::reject);
        QWidget *host = dialog ? static_cast<QWidget *>(&dialogHost) : &mainHost;
        dialog ? (new QVBoxLayout(host))->addWidget(window) : mainHost.setCentralWidget(window);
        host->show();
        BoxAnswerer boxes(window);
        if (answer >= 0) {
            Q_EMIT s.controller->oneServiceChanged();
            boxes.expect(QMessageBox::StandardButton(answer));
        }
        if (how == QLatin1String("escape")) {
            QTest::keyClick(child<QListView>(window, "servicesListView"), Qt::Key_Escape);
        } else if (how == QLatin1String("button")) {
            buttons->button(QDialogButtonBox::Close)->click();
        } else {
            host->close();
        }
        const bool asks = dialog && answer >= 0;
        QCOMPARE(boxes.seen, asks ? QList<SeenBox>{unsavedBox} : QList<SeenBox>());
        QCOMPARE(s.count(applyConfig), asks && answer == QMessageBox::Yes ? 1 : 0);
        QCOMPARE(host->isVisible(), asks && answer == QMessageBox::Cancel);
    }

    void failedSaveKeepsWindowOpen()
    {
        FakeScript &s = fakeScript();
        s.applyAnswer = FakeScript::ApplyAnswer::Failed;
        MainWindow window(true);
        MainWindowProbe probe(&window);
        window.show();
        Q_EMIT s.controller->oneServiceChanged();

        BoxAnswerer boxes(&window);
        boxes.expect(QMessageBox::Yes);
        boxes.expect(QMessageBox::Ok);
        QVERIFY(!window.close());
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen[1].text, saveFailedText);
        QCOMPARE(s.count(applyConfig), 1);
        QVERIFY(window.isVisible());
        QVERIFY(probe.isConfigChanged());
        QVERIFY(!QSettings().contains(QStringLiteral("geometry")));

        // The question comes again on the next close; this time the save works.
        s.applyAnswer = FakeScript::ApplyAnswer::Written;
        boxes.expect(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(boxes.seen.size(), 3);
        QCOMPARE(boxes.seen[2], unsavedBox);
        QCOMPARE(s.count(applyConfig), 2);
        QVERIFY(QSettings().contains(QStringLiteral("geometry")));
    }

    void geometryIsRestored()
    {
        {
            MainWindow window(true);
            QCOMPARE(window.size(), QSize(1004, 518)); // nothing stored yet
            window.show();
            window.resize(720, 430);
            QVERIFY(window.close());
        }
        MainWindow again(true);
        QCOMPARE(again.size(), QSize(720, 430));

        // Garbage under the key leaves the form's size.
        QSettings().setValue(QStringLiteral("geometry"), QByteArray("not a geometry"));
        MainWindow third(true);
        QCOMPARE(third.size(), QSize(1004, 518));
    }

    void noBlankIcons()
    {
        // Breeze lacks several of the names; the stand-ins fill in.
        MainWindow window(true);
        for (const char *name : {"saveAction",
                                 "reloadAction",
                                 "syncNowAction",
                                 "serviceSettAction",
                                 "startStopServiceAction",
                                 "restartServiceAction",
                                 "enDisServiceAction",
                                 "addNewServiceAction",
                                 "deleteServiceAction"}) {
            QVERIFY2(!child<QAction>(&window, name)->icon().availableSizes().isEmpty(), name);
        }
        for (const char *name : {"plusBtn", "minusBtn", "settBtn"}) {
            QVERIFY2(!child<QPushButton>(&window, name)->icon().availableSizes().isEmpty(), name);
        }
        QCOMPARE(iconImage(child<QAction>(&window, "syncNowAction")->icon()), iconImage(QIcon::fromTheme(QStringLiteral("chronometer"))));
        QCOMPARE(iconImage(child<QAction>(&window, "enDisServiceAction")->icon()), iconImage(QIcon::fromTheme(QStringLiteral("edit-delete"))));
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowSpineTest)

#include "tst_mainwindow_spine.moc"
