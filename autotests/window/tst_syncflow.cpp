// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Synchronizing the clock now: the server dialog, the wait message and the
// controller's two answers.

#include "fakelogiccontroller.h"
#include "mainwindow.h"
#include "mainwindowprobe.h"
#include "syncnowdialog.h"
#include "themeicon.h"
#include "widgettest.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace
{
const QString waitText = QStringLiteral("Waiting for time sync");

QComboBox *serverCombo(QDialog *d)
{
    return d->findChild<QComboBox *>(QStringLiteral("serverSyncNowCombo"));
}

QPushButton *syncButton(QDialog *d)
{
    return d->findChild<QPushButton *>(QStringLiteral("syncButton"));
}

QImage labelImage(QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}
}

class SyncFlowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;

    void syncNow()
    {
        window->findChild<QAction *>(QStringLiteral("syncNowAction"))->trigger();
    }

private Q_SLOTS:
    void init()
    {
        FakeScript &s = fakeScript();
        s.reset();
        clearSettings();
        s.addService(ChronyPackage, "chrony", ServiceSynchronized, 1);
        s.activeName = QStringLiteral("chrony");
        s.servers = QStringList{QStringLiteral("0.debian.pool.ntp.org"), QStringLiteral("ntp server:123")};
        window = std::make_unique<MainWindow>(true);
        probe = std::make_unique<MainWindowProbe>(window.get());
        s.clearCalls();
    }

    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void endingWithoutSyncing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << QStringLiteral("cancel");
        QTest::newRow("escape") << QStringLiteral("escape");
        QTest::newRow("close") << QStringLiteral("close");
    }

    void endingWithoutSyncing()
    {
        QFETCH(QString, how);
        const QString lineBefore = probe->statusTextLabel()->text();
        DialogAnswerer dialogs;
        dialogs.expect([&](QDialog *d) {
            if (how == QLatin1String("cancel")) {
                d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(d, Qt::Key_Escape);
            } else {
                d->close();
            }
        });
        syncNow();
        QCOMPARE(dialogs.opened, 1);
        QCOMPARE(fakeScript().callNames(), QStringList({QStringLiteral("getListServersToSync")}));
        QCOMPARE(probe->statusTextLabel()->text(), lineBefore);
        QVERIFY(probe->updateTimer()->isActive());
    }

    // The wait message is on screen when the controller is asked, with the
    // address exactly as the dialog holds it.
    void syncingChosenOrTypedServer_data()
    {
        QTest::addColumn<int>("pick");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("address");
        QTest::newRow("first entry") << 0 << QString() << QStringLiteral("0.debian.pool.ntp.org");
        QTest::newRow("entry not validated") << 1 << QString() << QStringLiteral("ntp server:123");
        QTest::newRow("typed") << -1 << QStringLiteral("time.example.org") << QStringLiteral("time.example.org");
    }

    void syncingChosenOrTypedServer()
    {
        QFETCH(int, pick);
        QFETCH(QString, typed);
        QFETCH(QString, address);
        FakeScript &s = fakeScript();
        QString lineWhileAsked;
        bool timerWhileAsked = false;
        s.onCall(QStringLiteral("saveAddrAndSyncNow"), [&](const QVariantList &) {
            lineWhileAsked = probe->statusTextLabel()->text();
            timerWhileAsked = probe->updateTimer()->isActive();
        });

        DialogAnswerer dialogs;
        dialogs.expect([&](QDialog *d) {
            if (pick >= 0) {
                serverCombo(d)->setCurrentIndex(pick);
            } else {
                serverCombo(d)->lineEdit()->clear();
                QTest::keyClicks(serverCombo(d)->lineEdit(), typed);
            }
            syncButton(d)->click();
        });
        syncNow();

        QCOMPARE(s.callNames(), QStringList({QStringLiteral("getListServersToSync"), QStringLiteral("saveAddrAndSyncNow")}));
        QCOMPARE(s.lastArgs(QStringLiteral("saveAddrAndSyncNow")), QVariantList({address}));
        QCOMPARE(lineWhileAsked, waitText);
        QVERIFY(timerWhileAsked);
        QCOMPARE(labelImage(probe->statusIconLabel()), iconImage(themeIcon("sync-now-symbolic")));
        // Nothing is held back while the answer is outstanding.
        QVERIFY(window->findChild<QAction *>(QStringLiteral("syncNowAction"))->isEnabled());
    }

    void emptyServerLists()
    {
        FakeScript &s = fakeScript();
        s.servers.clear();
        DialogAnswerer dialogs;
        bool firstEnabled = true;
        bool enabledAfterTyping = true;
        dialogs.expect([&](QDialog *d) {
            firstEnabled = syncButton(d)->isEnabled();
            QTest::keyClicks(serverCombo(d)->lineEdit(), QStringLiteral("pool.ntp.org"));
            enabledAfterTyping = syncButton(d)->isEnabled();
            d->reject();
        });
        syncNow();
        QVERIFY(!firstEnabled);
        QVERIFY(!enabledAfterTyping);
        QCOMPARE(s.count(QStringLiteral("saveAddrAndSyncNow")), 0);

        // A list, then an empty one again: the dialog keeps what it had.
        s.servers = QStringList{QStringLiteral("a.example"), QStringLiteral("b.example")};
        dialogs.expect([](QDialog *d) {
            serverCombo(d)->setCurrentIndex(1);
            d->reject();
        });
        syncNow();
        s.servers.clear();
        int entries = 0;
        dialogs.expect([&](QDialog *d) {
            entries = serverCombo(d)->count();
            syncButton(d)->click();
        });
        syncNow();

        QCOMPARE(dialogs.opened, 3);
        QCOMPARE(dialogs.dialogs[0], dialogs.dialogs[2]);
        QCOMPARE(window->findChildren<SyncNowDialog *>().size(), 1);
        QCOMPARE(dialogs.dialogs[0]->parentWidget(), window.get());
        QCOMPARE(entries, 2);
        QCOMPARE(s.lastArgs(QStringLiteral("saveAddrAndSyncNow")), QVariantList({QStringLiteral("b.example")}));
    }

    void success()
    {
        probe->fillStatusBar(ServiceSynchronized);
        BoxAnswerer boxes(window.get());
        Q_EMIT fakeScript().controller->syncOK();
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Time synced successfully"));
        QCOMPARE(labelImage(probe->statusIconLabel()), iconImage(themeIcon("dialog-on")));
        QVERIFY(!probe->updateTimer()->isActive());

        // Five seconds later the permanent line and the poll are back.
        QTRY_VERIFY_WITH_TIMEOUT(probe->updateTimer()->isActive(), 7000);
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Service is synchronized."));
    }

    void failure_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const QString ntpdigText = QStringLiteral("ntpdig: no eligible servers");
        // ntpdig's own report; the library's texts keep the real cause.
        QTest::newRow("ntpdig's report") << QStringLiteral("ntpdig: lookup of x failed\nntpdig: no servers can be used, exiting") << ntpdigText;
        for (const char *own :
             {"The program ntpdig was not found. Please install the package ntpsec-ntpdig.", "Setting the system clock was not authorized."}) {
            QTest::newRow(own) << QString::fromLatin1(own) << QString::fromLatin1(own);
        }
        QTest::newRow("other case") << QStringLiteral("NTPDIG failed") << QStringLiteral("NTPDIG failed");
        QTest::newRow("other text") << QStringLiteral("Authorization failed") << QStringLiteral("Authorization failed");
        QTest::newRow("empty") << QString() << QString();
    }

    void failure()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        BoxAnswerer boxes(window.get());
        QString lineWhileOpen;
        boxes.expect(QMessageBox::Ok, [&] {
            lineWhileOpen = probe->statusTextLabel()->text();
        });
        Q_EMIT fakeScript().controller->syncError(message);

        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0], box(QStringLiteral("Error!"), shown, QMessageBox::Ok, QMessageBox::Critical));
        // The status message follows the box, not before it.
        QVERIFY(lineWhileOpen != QLatin1String("Time sync error"));
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Time sync error"));
        QCOMPARE(labelImage(probe->statusIconLabel()), iconImage(themeIcon("dialog-warning")));
        QVERIFY(!probe->updateTimer()->isActive());
    }

    // Every answer is reported, even a second one for the same request.
    void eachAnswerReported()
    {
        BoxAnswerer boxes(window.get());
        boxes.expect(QMessageBox::Ok);
        Q_EMIT fakeScript().controller->syncError(QStringLiteral("first"));
        Q_EMIT fakeScript().controller->syncOK();
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Time synced successfully"));
        boxes.expect(QMessageBox::Ok);
        Q_EMIT fakeScript().controller->syncError(QStringLiteral("second"));
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen[1].text, QStringLiteral("second"));
        QCOMPARE(probe->statusTextLabel()->text(), QStringLiteral("Time sync error"));
    }
};

ZEL_WIDGET_TEST_MAIN(SyncFlowTest)
#include "tst_syncflow.moc"
