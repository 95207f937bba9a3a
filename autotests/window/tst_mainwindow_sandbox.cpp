// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// One scenario per flow of the window against the real library inside the
// sandbox machine: systemd-timesyncd and chrony installed, stopped and
// disabled, a loopback NTP server and a recording synaptic-pkexec.

#include "mainwindow.h"
#include "widgettest.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>

#include <memory>

namespace
{
QString systemctl(const char *verb)
{
    QProcess process;
    // The test moved its own settings elsewhere; systemctl wants the sandbox's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/config"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("systemctl"), {QStringLiteral("--user"), QLatin1String(verb), QStringLiteral("chrony.service")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString synapticLog()
{
    QFile log(qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/synaptic.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}
}

class MainWindowSandboxTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    ModalAnswerer modals;

    void trigger(const char *action)
    {
        window->findChild<QAction *>(QLatin1String(action))->trigger();
    }
    QModelIndex chrony() const
    {
        auto *view = window->findChild<QListView *>();
        view->setCurrentIndex(view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("chrony"), 1, Qt::MatchExactly).value(0));
        return view->currentIndex();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ZEL_SANDBOX"), "run inside the sandbox machine (sandbox/run.sh)");
    }

    void init()
    {
        window = std::make_unique<MainWindow>(true);
        window->show();
    }

    void cleanup()
    {
        window.reset();
        QCOMPARE(modals.seen, QStringList());
    }

    void startStopAndBoot()
    {
        QCOMPARE(chrony().data(MainWindow::ServiceStateRole).toInt(), int(ServiceNotActive));
        trigger("startStopServiceAction");
        QCOMPARE(systemctl("is-active"), QStringLiteral("active"));
        // A rebuild may have followed (the first refresh): the row is chrony's whatever its number.
        QVERIFY(chrony().data(MainWindow::ServiceStateRole).toInt() >= ServiceNotSynchronized);
        chrony();
        trigger("startStopServiceAction");
        QCOMPARE(systemctl("is-active"), QStringLiteral("inactive"));
        QCOMPARE(chrony().data(MainWindow::ServiceStateRole).toInt(), int(ServiceNotActive));
        // Restart starts a stopped unit.
        trigger("restartServiceAction");
        QCOMPARE(systemctl("is-active"), QStringLiteral("active"));
        chrony();
        trigger("startStopServiceAction");

        trigger("enDisServiceAction");
        QCOMPARE(systemctl("is-enabled"), QStringLiteral("enabled"));
        QCOMPARE(chrony().data(MainWindow::ServiceEnablingRole).toInt(), 1);
        trigger("enDisServiceAction");
        QCOMPARE(systemctl("is-enabled"), QStringLiteral("disabled"));
        QCOMPARE(chrony().data(MainWindow::ServiceEnablingRole).toInt(), 0);
    }

    void installAndRemove()
    {
        QStringList offered;
        modals.expect([&](QDialog *d) {
            auto *combo = d->findChild<QComboBox *>();
            for (int i = 0; i < combo->count(); ++i) {
                offered << combo->itemText(i);
            }
            combo->setCurrentText(QStringLiteral("ntpsec"));
            d->accept();
        });
        modals.press(QMessageBox::Yes);
        trigger("addNewServiceAction");
        QVERIFY2(offered.contains(QStringLiteral("ntpsec")) && !offered.contains(QStringLiteral("chrony")), qPrintable(offered.join(QLatin1Char(' '))));
        QVERIFY2(synapticLog().contains(QLatin1String("selection: ntpsec install")), qPrintable(synapticLog()));

        chrony();
        modals.press(QMessageBox::Yes);
        modals.press(QMessageBox::Yes);
        trigger("deleteServiceAction");
        QCOMPARE(modals.seen.size(), 4);
        QVERIFY2(synapticLog().contains(QLatin1String("selection: chrony deinstall")), qPrintable(synapticLog()));
        QVERIFY(synapticLog().contains(QLatin1String("--parent-window-id ") + QString::number(window->winId())));
        modals.seen.clear();
    }

    void syncNow()
    {
        modals.expect([](QDialog *d) {
            auto *combo = d->findChild<QComboBox *>();
            QVERIFY2(combo->count() > 0, "no servers offered");
            combo->lineEdit()->clear();
            QTest::keyClicks(combo->lineEdit(), QStringLiteral("127.0.0.1"));
            d->findChild<QPushButton *>(QStringLiteral("syncButton"))->click();
        });
        trigger("syncNowAction");
        QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("statusTextLabel"))->text(), QStringLiteral("Time synced successfully"), 60000);
        QCOMPARE(modals.seen.size(), 1);
        modals.seen.clear();
    }
};

ZEL_WIDGET_TEST_MAIN(MainWindowSandboxTest)

#include "tst_mainwindow_sandbox.moc"
