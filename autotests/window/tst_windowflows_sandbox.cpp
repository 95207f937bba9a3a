// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The add-service, delete-service and sync-now commands against the real
// library inside the sandbox machine (systemd-timesyncd and chrony
// installed, a loopback NTP server, a recording synaptic-pkexec).

#include "mainwindow.h"
#include "widgettest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>

namespace
{
QString synapticLog()
{
    QFile log(qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/synaptic.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QString statusText(MainWindow *window)
{
    return window->findChild<QLabel *>(QStringLiteral("statusTextLabel"))->text();
}
}

class WindowFlowsSandboxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ZEL_SANDBOX")) {
            QFAIL("run inside the sandbox machine (sandbox/run.sh)");
        }
    }

    void installAndRemove()
    {
        MainWindow window(true);
        window.show();

        // ntpsec is not installed in the sandbox.
        DialogAnswerer dialogs;
        QStringList offered;
        dialogs.expect([&](QDialog *d) {
            auto *combo = d->findChild<QComboBox *>(QStringLiteral("comboBox"));
            for (int i = 0; i < combo->count(); ++i) {
                offered << combo->itemText(i);
            }
            combo->setCurrentText(QStringLiteral("ntpsec"));
            if (!d->findChild<QGroupBox *>(QStringLiteral("conflictGB"))->isHidden()) {
                d->findChild<QCheckBox *>(QStringLiteral("agreeChB"))->setChecked(true);
            }
            d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        BoxAnswerer boxes(&window);
        boxes.expect(QMessageBox::Yes);
        window.findChild<QAction *>(QStringLiteral("addNewServiceAction"))->trigger();

        QVERIFY2(offered.contains(QStringLiteral("ntpsec")), qPrintable(offered.join(QLatin1Char(' '))));
        QVERIFY(!offered.contains(QStringLiteral("chrony")));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].text, QStringLiteral("Don't forget to reload the configuration after changing the list of services."));
        QVERIFY2(synapticLog().contains(QLatin1String("selection: ntpsec install")), qPrintable(synapticLog()));

        // Remove chrony, chosen in the list.
        auto *list = window.findChild<QListView *>(QStringLiteral("servicesListView"));
        const QModelIndexList chrony = list->model()
            ? list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("chrony"), 1, Qt::MatchExactly)
            : QModelIndexList();
        QCOMPARE(chrony.size(), 1);
        list->setCurrentIndex(chrony[0]);
        boxes.expect(QMessageBox::Yes);
        boxes.expect(QMessageBox::Yes);
        window.findChild<QAction *>(QStringLiteral("deleteServiceAction"))->trigger();

        QCOMPARE(boxes.seen.size(), 3);
        QCOMPARE(boxes.seen[1].text, QStringLiteral("Do you really want to uninstall chrony service?"));
        QCOMPARE(boxes.seen[2].text, QStringLiteral("Don't forget to reload the configuration after changing the list of services."));
        QVERIFY2(synapticLog().contains(QLatin1String("selection: chrony deinstall")), qPrintable(synapticLog()));
        QVERIFY2(synapticLog().contains(QLatin1String("--parent-window-id ") + QString::number(window.winId())), qPrintable(synapticLog()));
    }

    void syncNowWithLoopbackServer()
    {
        MainWindow window(true);
        window.show();
        DialogAnswerer dialogs;
        QStringList offered;
        dialogs.expect([&](QDialog *d) {
            auto *combo = d->findChild<QComboBox *>(QStringLiteral("serverSyncNowCombo"));
            for (int i = 0; i < combo->count(); ++i) {
                offered << combo->itemText(i);
            }
            combo->lineEdit()->clear();
            QTest::keyClicks(combo->lineEdit(), QStringLiteral("127.0.0.1"));
            d->findChild<QPushButton *>(QStringLiteral("syncButton"))->click();
        });
        BoxAnswerer boxes(&window);
        window.findChild<QAction *>(QStringLiteral("syncNowAction"))->trigger();
        // The library offers servers, so the dialog can be confirmed.
        QVERIFY2(!offered.isEmpty(), "no servers offered");
        QTRY_COMPARE_WITH_TIMEOUT(statusText(&window), QStringLiteral("Time synced successfully"), 60000);
        QVERIFY(boxes.seen.isEmpty());
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    WindowFlowsSandboxTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowflows_sandbox.moc"
