// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The service list and the service commands against the real library inside
// the sandbox machine: systemd-timesyncd and chrony installed, their units
// (chrony a real chronyd) stopped and disabled under the sandbox's systemd.

#include "mainwindow.h"
#include "themeicon.h"
#include "widgettest.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QTest>

namespace
{
QString systemctl(const QStringList &arguments)
{
    QProcess process;
    // The test moved its own settings elsewhere; systemctl wants the sandbox's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/config"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString unitOf(const QString &service)
{
    return service + QLatin1String(".service");
}

// The list's state code for what systemd says of a unit now.
bool stateMatchesUnit(int state, const QString &service)
{
    const QString active = systemctl({QStringLiteral("is-active"), unitOf(service)});
    if (active == QLatin1String("active")) {
        return state == ServiceNotSynchronized || state == ServiceSynchronized;
    }
    return state == ServiceNotActive;
}
}

class ServiceListSandboxTest : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    BoxAnswerer *boxes = nullptr;

    QListView *view() const
    {
        return window->findChild<QListView *>(QStringLiteral("servicesListView"));
    }
    QModelIndex rowOf(const QString &name) const
    {
        return view()->model()->match(view()->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly).value(0);
    }
    void selectService(const QString &name)
    {
        view()->selectionModel()->setCurrentIndex(rowOf(name), QItemSelectionModel::ClearAndSelect);
    }
    void trigger(const char *action)
    {
        window->findChild<QAction *>(QLatin1String(action))->trigger();
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
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ZEL_SANDBOX")) {
            QFAIL("run inside the sandbox machine (sandbox/run.sh)");
        }
        boxes = new BoxAnswerer;
        window = new MainWindow(true);
        window->show();
    }

    void cleanupTestCase()
    {
        delete window;
        delete boxes;
        systemctl({QStringLiteral("stop"), unitOf(QStringLiteral("chrony"))});
        systemctl({QStringLiteral("disable"), unitOf(QStringLiteral("chrony"))});
    }

    void listShowsTheInstalledServices()
    {
        QStringList names;
        for (int row = 0; row < view()->model()->rowCount(); ++row) {
            names << view()->model()->index(row, 0).data().toString();
        }
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("chrony"), QStringLiteral("systemd-timesyncd")}));
        for (const QString &name : qAsConst(names)) {
            QVERIFY2(stateMatchesUnit(cachedState(name), name), qPrintable(name));
            const bool enabled = systemctl({QStringLiteral("is-enabled"), unitOf(name)}) == QLatin1String("enabled");
            QCOMPARE(rowOf(name).data(MainWindow::ServiceEnablingRole).toInt() == 1, enabled);
        }
        QVERIFY(boxes->seen.isEmpty());
    }

    void startStopRestart()
    {
        const QString chrony = QStringLiteral("chrony");
        selectService(chrony);
        QCOMPARE(cachedState(chrony), int(ServiceNotActive));

        trigger("startStopServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-active"), unitOf(chrony)}), QStringLiteral("active"));
        QVERIFY(boxes->seen.isEmpty());
        // A rebuild may have followed (the first refresh); the row is chrony's whatever its number.
        const int started = cachedState(chrony);
        QVERIFY2(started == ServiceNotSynchronized || started == ServiceSynchronized, qPrintable(QString::number(started)));
        QCOMPARE(rowIcon(chrony), iconImage(themeIcon(started == ServiceSynchronized ? "dialog-on" : "dialog-warning")));
        QCOMPARE(window->findChild<QAction *>(QStringLiteral("startStopServiceAction"))->text(), QStringLiteral("St&op service"));

        selectService(chrony);
        trigger("startStopServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-active"), unitOf(chrony)}), QStringLiteral("inactive"));
        QCOMPARE(cachedState(chrony), int(ServiceNotActive));
        QCOMPARE(rowIcon(chrony), iconImage(themeIcon("media-playback-stop-symbolic")));
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("statusTextLabel"))->text(), QStringLiteral("Synchronization service is not active."));

        // Restart starts a stopped unit.
        selectService(chrony);
        trigger("restartServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-active"), unitOf(chrony)}), QStringLiteral("active"));
        QVERIFY(cachedState(chrony) == ServiceNotSynchronized || cachedState(chrony) == ServiceSynchronized);
        QVERIFY(boxes->seen.isEmpty());

        selectService(chrony);
        trigger("startStopServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-active"), unitOf(chrony)}), QStringLiteral("inactive"));
    }

    void enableAndDisable()
    {
        const QString chrony = QStringLiteral("chrony");
        selectService(chrony);
        QCOMPARE(rowOf(chrony).data(MainWindow::ServiceEnablingRole).toInt(), 0);
        trigger("enDisServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-enabled"), unitOf(chrony)}), QStringLiteral("enabled"));
        QCOMPARE(rowOf(chrony).data(MainWindow::ServiceEnablingRole).toInt(), 1);
        QCOMPARE(window->findChild<QAction *>(QStringLiteral("enDisServiceAction"))->text(), QStringLiteral("D&isable service"));

        trigger("enDisServiceAction");
        QCOMPARE(systemctl({QStringLiteral("is-enabled"), unitOf(chrony)}), QStringLiteral("disabled"));
        QCOMPARE(rowOf(chrony).data(MainWindow::ServiceEnablingRole).toInt(), 0);
        QVERIFY(boxes->seen.isEmpty());
    }
};

ZEL_WIDGET_TEST_MAIN(ServiceListSandboxTest)

#include "tst_servicelist_sandbox.moc"
