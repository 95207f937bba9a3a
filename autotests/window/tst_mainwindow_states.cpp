// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The status line with its temporary messages, and the forms of the
// per-service command actions.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "themeicon.h"
#include "widgettest.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace
{
const QString conflictTip = QStringLiteral("This service can't be started due to a conflict with other installed services");
const QString startTip = QStringLiteral("Start service");
const QString stopTip = QStringLiteral("Stop service");
const QString restartTip = QStringLiteral("Restart service");

QImage labelImage(QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}
}

class MainWindowStatesTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;

    QAction *action(const char *name) const
    {
        return window->findChild<QAction *>(QLatin1String(name));
    }

private Q_SLOTS:
    void init()
    {
        // Two services, the synchronized one active; the first tick is over.
        FakeScript &s = fakeScript();
        s.reset();
        clearSettings();
        s.addService(TimesyncdPackage, "systemd-timesyncd", ServiceNotActive, 0);
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.widgets = {new QWidget, new QWidget};
        s.activeName = QStringLiteral("chrony");
        window = std::make_unique<MainWindow>(true);
        probe = std::make_unique<MainWindowProbe>(window.get());
        probe->tick();
    }

    void select(int row)
    {
        auto *view = window->findChild<QListView *>(QStringLiteral("servicesListView"));
        view->selectionModel()->setCurrentIndex(view->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void statusCodes_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("iconName");
        QTest::newRow("0") << 0 << QStringLiteral("No installed services.") << QStringLiteral("dialog-warning");
        QTest::newRow("1") << 1 << QStringLiteral("Synchronization service is not active.") << QStringLiteral("media-playback-stop-symbolic");
        QTest::newRow("2") << 2 << QStringLiteral("Service is out of sync. Perhaps it will sync a little later.") << QStringLiteral("dialog-warning");
        QTest::newRow("3") << 3 << QStringLiteral("Service is synchronized.") << QStringLiteral("dialog-on");
    }

    void statusCodes()
    {
        QFETCH(int, state);
        QFETCH(QString, text);
        QFETCH(QString, iconName);
        probe->statusIconLabel()->setToolTip(QStringLiteral("kept"));
        probe->fillStatusBar(state);
        QCOMPARE(probe->lastStatusState(), state);
        QCOMPARE(probe->statusTextLabel()->text(), text);
        const QImage expected = iconImage(themeIcon(iconName.toLatin1().constData()));
        QVERIFY(!expected.isNull());
        QCOMPARE(labelImage(probe->statusIconLabel()), expected);
        QCOMPARE(probe->statusIconLabel()->toolTip(), QStringLiteral("kept"));
        // Unknown codes are stored but change nothing on screen.
        probe->fillStatusBar(7);
        QCOMPARE(probe->lastStatusState(), 7);
        QCOMPARE(probe->statusTextLabel()->text(), text);
        QCOMPARE(labelImage(probe->statusIconLabel()), expected);
    }

    // Over status 1; type -1 is the wait message, which leaves the poll alone.
    void messages_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("iconName");
        QTest::newRow("wait") << -1 << QStringLiteral("Waiting for time sync") << QStringLiteral("emblem-synchronizing-symbolic");
        QTest::newRow("success") << 0 << QStringLiteral("ok") << QStringLiteral("dialog-on");
        QTest::newRow("error") << 1 << QStringLiteral("Time sync error") << QStringLiteral("dialog-warning");
        QTest::newRow("other type keeps the icon") << 5 << QStringLiteral("odd") << QStringLiteral("media-playback-stop-symbolic");
    }

    void messages()
    {
        QFETCH(int, type);
        QFETCH(QString, text);
        QFETCH(QString, iconName);
        probe->fillStatusBar(1);
        if (type < 0) {
            probe->showWaitStatusMessage();
        } else {
            probe->showTempStatusMessage(type, text);
        }
        QCOMPARE(probe->statusTextLabel()->text(), text);
        QCOMPARE(labelImage(probe->statusIconLabel()), iconImage(themeIcon(iconName.toLatin1().constData())));
        QCOMPARE(probe->lastStatusState(), 1);
        QCOMPARE(probe->updateTimer()->isActive(), type < 0);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "restoreStatusBar"));
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Synchronization service is not active."));
        QVERIFY(probe->updateTimer()->isActive());
    }

    void temporaryMessageStopsAndRestartsThePoll()
    {
        probe->fillStatusBar(3);
        probe->showTempStatusMessage(1, QStringLiteral("Time sync error"));
        QVERIFY(!probe->updateTimer()->isActive());
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Time sync error"));
        QCOMPARE(labelImage(probe->statusIconLabel()), iconImage(themeIcon("dialog-warning")));

        // Nothing comes back early, not even from a selection change.
        QTest::qWait(4000);
        probe->fillStatusBar(1);
        QVERIFY(!probe->updateTimer()->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(probe->updateTimer()->isActive(), 2500);
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Synchronization service is not active."));
        QCOMPARE(probe->updateTimer()->interval(), 5000);
        QCOMPARE(probe->updateTimer()->remainingTime() > 4000, true);
    }

    void restoreBeforeAnyState()
    {
        // Pages but no service: no code is shown at all.
        fakeScript().reset();
        fakeScript().widgets = {new QWidget};
        MainWindow bare(true);
        MainWindowProbe bareProbe(&bare);
        QCOMPARE(bareProbe.lastStatusState(), -1);
        QCOMPARE(bareProbe.statusTextLabel()->text(), QString());
        // The restore leaves the message and only restarts the poll.
        bareProbe.showTempStatusMessage(0, QStringLiteral("Time synced successfully"));
        QVERIFY(QMetaObject::invokeMethod(&bare, "restoreStatusBar"));
        QCOMPARE(bareProbe.statusTextLabel()->text(), QStringLiteral("Time synced successfully"));
        QVERIFY(bareProbe.updateTimer()->isActive());
    }

    void startStopForms_data()
    {
        QTest::addColumn<int>("services");
        QTest::addColumn<bool>("conflicting");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("restartTip_");
        QTest::addColumn<bool>("restartEnabled");
        QTest::addColumn<int>("conflictQueries");

        const QString start = QStringLiteral("S&tart service");
        const QString stop = QStringLiteral("St&op service");
        QTest::newRow("one service never conflicts") << 1 << false << 1 << false << start << startTip << true << restartTip << true << 0;
        QTest::newRow("two, allowed") << 2 << true << 1 << false << start << startTip << true << restartTip << true << 1;
        QTest::newRow("two, blocked") << 2 << false << 1 << false << start << conflictTip << false << conflictTip << false << 1;
        QTest::newRow("none, blocked") << 0 << false << 1 << false << start << conflictTip << false << conflictTip << false << 1;
        QTest::newRow("start, unsaved") << 1 << true << 1 << true << start << startTip << false << restartTip << false << 0;
        QTest::newRow("state 0 stops") << 2 << false << 0 << false << stop << stopTip << true << restartTip << true << 0;
        QTest::newRow("state 2 stops") << 2 << false << 2 << false << stop << stopTip << true << restartTip << true << 0;
        QTest::newRow("state 3, unsaved") << 2 << false << 3 << true << stop << stopTip << true << restartTip << false << 0;
        QTest::newRow("odd state stops") << 2 << false << 9 << false << stop << stopTip << true << restartTip << true << 0;
    }

    void startStopForms()
    {
        QFETCH(int, services);
        QFETCH(bool, conflicting);
        QFETCH(int, state);
        QFETCH(bool, unsaved);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        QFETCH(bool, enabled);
        QFETCH(QString, restartTip_);
        QFETCH(bool, restartEnabled);
        QFETCH(int, conflictQueries);

        FakeScript &s = fakeScript();
        s.services.clear();
        const PackageIndex keys[] = {TimesyncdPackage, ChronyPackage};
        for (int i = 0; i < services; ++i) {
            s.addService(keys[i], i ? "chrony" : "systemd-timesyncd", 1, 1);
        }
        s.serviceConflicting = conflicting;
        if (unsaved) {
            Q_EMIT s.controller->oneServiceChanged();
        }
        s.clearCalls();
        probe->setIconToStartStopBtn(state);

        QAction *startStop = action("startStopServiceAction");
        QAction *restart = action("restartServiceAction");
        QCOMPARE(startStop->text(), text);
        QCOMPARE(startStop->iconText(), text);
        QCOMPARE(startStop->toolTip(), tip);
        QCOMPARE(startStop->isEnabled(), enabled);
        QCOMPARE(restart->toolTip(), restartTip_);
        QCOMPARE(restart->isEnabled(), restartEnabled);
        QCOMPARE(s.count(QStringLiteral("isServiceConflicting")), conflictQueries);
        const char *iconName = state == 1 ? "media-playback-start-symbolic" : "media-playback-stop-symbolic";
        QCOMPARE(iconImage(startStop->icon()), iconImage(themeIcon(iconName)));
    }

    void enablingChangesDoNotUnblockAStart()
    {
        FakeScript &s = fakeScript();
        s.serviceConflicting = false;
        select(0); // the inactive one: blocked by chrony
        QVERIFY(!action("startStopServiceAction")->isEnabled());
        Q_EMIT s.controller->oneServiceChanged();
        QVERIFY(!action("startStopServiceAction")->isEnabled());
        QVERIFY(!action("restartServiceAction")->isEnabled());
        Q_EMIT s.controller->confWrited();
        QVERIFY(!action("startStopServiceAction")->isEnabled());
        QVERIFY(!action("restartServiceAction")->isEnabled());
        QCOMPARE(action("startStopServiceAction")->toolTip(), conflictTip);

        // An allowed start follows the flag both ways.
        s.serviceConflicting = true;
        select(1);
        select(0);
        QVERIFY(action("startStopServiceAction")->isEnabled());
        Q_EMIT s.controller->oneServiceChanged();
        QVERIFY(!action("startStopServiceAction")->isEnabled());
        Q_EMIT s.controller->confWrited();
        QVERIFY(action("startStopServiceAction")->isEnabled());
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowStatesTest)

#include "tst_mainwindow_states.moc"
