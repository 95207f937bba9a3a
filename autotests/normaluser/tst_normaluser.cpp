// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library run by a normal desktop user inside the sandbox machine in
// system mode, with polkit granting (ZEL_EXPECT_GRANTED=1) or refusing every
// request: each privileged step either changes the real unit, file or package
// database, or fails saying so and changes nothing at all.

#include "config/fileerror.h"
#include "logiccontroller.h"
#include "testhelpers.h"
#include "widgettest.h"

#include "common/releasecompat.h"

#include <KAuth/ActionReply>
#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
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
    return TestHelpers::readFile(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + path);
}

// A performAction call on the helper, as any local user may make one.
QDBusPendingReply<QByteArray> callHelper(const char *action, const QVariantMap &arguments = {})
{
    const QString helper = QStringLiteral("org.kde.kcontrol.kcmzeladmintime");
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.interface()->startService(helper);
    QByteArray blob;
    QDataStream stream(&blob, QIODevice::WriteOnly);
    stream << arguments;
    QDBusMessage call = QDBusMessage::createMethodCall(helper, QStringLiteral("/"), ReleaseCompat::kauthHelperInterface(), QStringLiteral("performAction"));
    ReleaseCompat::addHelperCallArguments(call, QString::fromLatin1(action), bus.baseService().toUtf8(), blob);
    return bus.asyncCall(call, 600000);
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
    QWidget *chronyPage() const
    {
        return m_controller->getInstalledServiceWidgets().value(m_controller->getInstalledServicesMap().keys().indexOf(ChronyPackage));
    }

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

    // The diagnosis' fixes through the helper's chronyc action: granted,
    // burst and online work and chronyd refuses makestep (the sandbox may not
    // set the clock), asked about first; refused, polkit's no is told.
    void chronyFixes()
    {
        auto *line = TestHelpers::child<QLabel>(chronyPage(), "fixLine");
        for (const char *button : {"burstButton", "onlineButton", "makestepButton"}) {
            const bool step = QByteArray(button).startsWith("makestep");
            line->clear();
            ModalAnswerer modals;
            if (step) {
                modals.press(QMessageBox::Yes);
            }
            TestHelpers::child<QPushButton>(chronyPage(), button)->click();
            QTRY_VERIFY_WITH_TIMEOUT(!line->text().isEmpty(), 60000);
            const QString said = !m_granted ? QStringLiteral("authorization") : step ? QStringLiteral("500 Failure") : QString();
            QCOMPARE(modals.seen.size(), step ? 1 : 0);
            QVERIFY2(line->text().contains(said), qPrintable(line->text()));
            QVERIFY2((m_granted && !step) != line->text().contains(QLatin1String("not"), Qt::CaseInsensitive), qPrintable(line->text()));
        }
    }

    void addServerAndSave()
    {
        QWidget *page = chronyPage();
        QVERIFY(page);
        QTest::keyClicks(TestHelpers::child<QLineEdit>(page, "newServerEdit"), QStringLiteral("192.0.2.7"));
        TestHelpers::child<QPushButton>(page, "addServerBtn")->click();

        ModalAnswerer modals;
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
        // An action polkit does not know, needing no password, holds the
        // helper for no time: the save right after it goes through.
        const QDBusPendingReply<QByteArray> hostile = callHelper("org.kde.kcontrol.kcmzeladmintime.nosuchaction");
        m_controller->applyConfig();
        QCOMPARE(written.count(), m_granted ? 1 : 0);
        QCOMPARE(failed.count(), m_granted ? 0 : 1);
        QCOMPARE(rootFile(files.first()).contains("server 192.0.2.7"), m_granted);
        QTRY_VERIFY_WITH_TIMEOUT(hostile.isFinished(), 60000);
        QCOMPARE(KAuth::ActionReply::deserialize(hostile.value()).errorCode(), int(KAuth::ActionReply::AuthorizationDeniedError));
        // A refusal is told on the page, not in a box of the library's.
        const QString told = page->findChild<QWidget *>(QStringLiteral("saveFailureMessage"))->property("text").toString();
        QCOMPARE(modals.seen, QStringList());
        QVERIFY2(m_granted ? told.isEmpty() : told.contains(QLatin1String("/etc/chrony/chrony.conf")), qPrintable(told));
        // The helper's refusal says what kind it is, beside its words.
        const QVariantMap request{{QStringLiteral("path"), QStringLiteral("/etc/passwd")},
                                  {QStringLiteral("content"), QByteArray("x")},
                                  {QStringLiteral("expectedHash"), QByteArray()},
                                  {QStringLiteral("notAfter"), QDateTime::currentMSecsSinceEpoch() + 60000}};
        const KAuth::ActionReply refused = KAuth::ActionReply::deserialize(callHelper("org.kde.kcontrol.kcmzeladmintime.writeconfig", request).value());
        QCOMPARE(refused.data().value(QStringLiteral("kind")).toInt(), int(m_granted ? FileError::NotConfigFile : FileError::None));
    }

    void syncNow()
    {
        QSignalSpy ok(m_controller.get(), &LogicController::syncOK);
        QSignalSpy error(m_controller.get(), &LogicController::syncError);
        m_controller->saveAddrAndSyncNow(QStringLiteral("127.0.0.1"));
        QTRY_VERIFY_WITH_TIMEOUT(ok.count() + error.count() == 1, 60000);
        QCOMPARE(ok.count(), m_granted ? 1 : 0);
        // In its own words, not pkexec's "... This incident has been reported."
        const QString why = error.value(0).value(0).toString();
        if (!m_granted) {
            QVERIFY(!why.isEmpty());
            QVERIFY2(!why.contains(QLatin1String("incident")), qPrintable(why));
        }
    }

    void installNtpsec()
    {
        QCOMPARE(m_controller->tryToInstallService(QStringLiteral("ntpsec")), m_granted);
        QCOMPARE(rootFile(files.last()).contains("\nPackage: ntpsec\n"), m_granted);
        QCOMPARE(TestHelpers::readFile(qEnvironmentVariable("ZEL_SANDBOX") + QStringLiteral("/synaptic.log")).contains("selection: ntpsec install"), m_granted);
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
