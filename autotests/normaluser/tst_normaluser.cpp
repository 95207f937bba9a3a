// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library run by a normal desktop user inside the sandbox machine in
// system mode, with polkit granting (ZEL_EXPECT_GRANTED=1) or refusing every
// request: each privileged step either changes the real unit, file or package
// database, or fails saying so and changes nothing at all.

#include "../config/confighelpers.h"

#include "logiccontroller.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <unistd.h>

namespace
{
const QStringList files = {QStringLiteral("/etc/chrony/chrony.conf"),
                           QStringLiteral("/etc/systemd/timesyncd.conf"),
                           QStringLiteral("/etc/ntpsec/ntp.conf"),
                           QStringLiteral("/etc/openntpd/ntpd.conf"),
                           QStringLiteral("/var/lib/dpkg/status")};

QByteArray rootFile(const QString &path)
{
    return ConfigTest::readFile(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + path);
}

QString unitState(const QString &unit)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), {QStringLiteral("is-active"), unit});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
}

class NormalUserTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<LogicController> m_controller;
    QMap<QString, QByteArray> m_before;
    bool m_granted = false;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(geteuid() != 0, "run with sandbox/run.sh --user");
        m_granted = qgetenv("ZEL_EXPECT_GRANTED") == "1";
        for (const QString &path : files) {
            m_before.insert(path, rootFile(path));
        }
        m_controller = std::make_unique<LogicController>(false);
        QVERIFY(m_controller->getSysAlive());
    }

    void startChrony()
    {
        m_controller->startServiceByDbus(QStringLiteral("chrony"));
        const QString result = m_controller->getStartResult();
        QTRY_COMPARE_WITH_TIMEOUT(unitState(QStringLiteral("chrony.service")), m_granted ? QStringLiteral("active") : QStringLiteral("inactive"), 30000);
        QVERIFY2(m_granted ? result.isEmpty() : result.contains(QLatin1String("chrony")), qPrintable(result));
    }

    void addServerAndSave()
    {
        const auto services = m_controller->getInstalledServicesMap();
        const auto pages = m_controller->getInstalledServiceWidgets();
        QWidget *page = nullptr;
        int row = 0;
        for (AbstractServiceClass *service : services) {
            if (service && QString(service->getServiceName()) == QLatin1String("chrony")) {
                page = pages.value(row);
            }
            ++row;
        }
        QVERIFY(page);
        QTest::keyClicks(ConfigTest::child<QLineEdit>(page, "newServerEdit"), QStringLiteral("192.0.2.7"));
        ConfigTest::child<QPushButton>(page, "addServerBtn")->click();

        QString box;
        ConfigTest::whenModal([&box](QWidget *dialog) {
            auto *message = qobject_cast<QMessageBox *>(dialog);
            if (message) {
                box = message->text() + message->detailedText();
            }
            dialog->close();
        });
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
        m_controller->applyConfig();
        QCOMPARE(written.count(), m_granted ? 1 : 0);
        QCOMPARE(failed.count(), m_granted ? 0 : 1);
        QCOMPARE(rootFile(files.first()).contains("server 192.0.2.7"), m_granted);
        QVERIFY2(m_granted || box.contains(QLatin1String("chrony")), qPrintable(box));
    }

    void syncNow()
    {
        QSignalSpy ok(m_controller.get(), &LogicController::syncOK);
        QSignalSpy error(m_controller.get(), &LogicController::syncError);
        m_controller->saveAddrAndSyncNow(QStringLiteral("127.0.0.1"));
        QTRY_VERIFY_WITH_TIMEOUT(ok.count() + error.count() == 1, 60000);
        QCOMPARE(ok.count(), m_granted ? 1 : 0);
        QVERIFY2(m_granted || !error.first().first().toString().isEmpty(), "a refused sync says why");
    }

    void installNtpsec()
    {
        QCOMPARE(m_controller->tryToInstallService(QStringLiteral("ntpsec")), m_granted);
        QCOMPARE(rootFile(files.last()).contains("\nPackage: ntpsec\n"), m_granted);
        QCOMPARE(ConfigTest::readFile(qEnvironmentVariable("ZEL_SANDBOX") + QStringLiteral("/synaptic.log")).contains("selection: ntpsec install"), m_granted);
    }

    void cleanupTestCase()
    {
        if (m_granted) {
            return;
        }
        // Refused: every unit, file and the package database as they were.
        for (const QString &unit : {QStringLiteral("chrony.service"), QStringLiteral("systemd-timesyncd.service")}) {
            QCOMPARE(unitState(unit), QStringLiteral("inactive"));
        }
        for (const QString &path : files) {
            QVERIFY2(rootFile(path) == m_before.value(path), qPrintable(path));
        }
    }
};

QTEST_MAIN(NormalUserTest)
#include "tst_normaluser.moc"
