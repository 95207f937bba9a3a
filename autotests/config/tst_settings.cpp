// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real library's settings inside the sandbox machine, all four services
// installed: pages edited as a user would, saved, the service restarted; a
// failed save keeps every edit pending.

#include "confighelpers.h"

#include "logiccontroller.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolButton>

#include <memory>

#include <sys/stat.h>

using ConfigTest::child;

static const QString timesyncdConf = QStringLiteral("/etc/systemd/timesyncd.conf");
static const QString chronyConf = QStringLiteral("/etc/chrony/chrony.conf");
static const QString ntpsecConf = QStringLiteral("/etc/ntpsec/ntp.conf");
static const QString openntpdConf = QStringLiteral("/etc/openntpd/ntpd.conf");

static QByteArray onDisk(const QString &systemPath)
{
    return ConfigTest::readFile(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + systemPath);
}

static void put(const QString &systemPath, const QByteArray &content)
{
    ConfigTest::writeFile(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + systemPath, content);
}

static QString systemctl(const QString &arguments)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments.split(QLatin1Char(' ')));
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

static ino_t inode(const QString &systemPath)
{
    struct stat info;
    return ::stat(QFile::encodeName(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + systemPath).constData(), &info) == 0 ? info.st_ino : 0;
}

// Answers the next message box; its text and details go to `shown`.
static void answerNextBox(QString *shown)
{
    ConfigTest::whenModal([shown](QWidget *dialog) {
        auto *box = static_cast<QMessageBox *>(dialog);
        *shown = box->text() + box->detailedText();
        box->button(QMessageBox::Ok)->click();
    });
}

// Adds a server through a server list editor, as typed.
static void addServer(QWidget *editor, const QString &name)
{
    QTest::keyClicks(child<QLineEdit>(editor, "newServerEdit"), name);
    child<QPushButton>(editor, "addServerBtn")->click();
}

class SettingsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<LogicController> m_controller;
    QHash<QString, QByteArray> m_original;

    QWidget *page(PackageIndex service) const
    {
        return m_controller->getInstalledServiceWidgets().value(m_controller->getInstalledServicesMap().keys().indexOf(service));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ZELADMINTIME_SYSROOT"), "runs inside the sandbox machine");
        for (const QString &path : {timesyncdConf, chronyConf, ntpsecConf, openntpdConf}) {
            m_original.insert(path, onDisk(path));
        }
    }
    void init()
    {
        m_controller = std::make_unique<LogicController>(true);
        QCOMPARE(m_controller->getInstalledServicesMap().size(), 4);
    }
    void cleanup()
    {
        m_controller.reset();
        for (auto it = m_original.cbegin(); it != m_original.cend(); ++it) {
            put(it.key(), it.value());
        }
        systemctl(QStringLiteral("stop chrony.service"));
    }

    void saveAndRestart()
    {
        systemctl(QStringLiteral("start chrony.service"));
        m_controller->reloadSystemState();
        const QString pid = systemctl(QStringLiteral("show -p MainPID chrony.service"));
        QSignalSpy changed(m_controller.get(), &LogicController::oneServiceChanged);
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        addServer(page(NtpsecPackage), QStringLiteral("ntp.example.org"));
        // An edit undone on openntpd's page is no edit: its file is not rewritten.
        auto *openntpdServers = child<QListWidget>(page(OpenntpdPackage), "serversList");
        openntpdServers->setCurrentRow(0);
        child<QToolButton>(page(OpenntpdPackage), "moveDownBtn")->click();
        child<QToolButton>(page(OpenntpdPackage), "moveUpBtn")->click();
        QCOMPARE(changed.count(), 4);
        const ino_t openntpdFile = inode(openntpdConf);

        m_controller->applyConfig();
        QCOMPARE(written.count(), 1); // before applyConfig() returned
        QCOMPARE(onDisk(chronyConf), QByteArray(m_original.value(chronyConf)).replace("rtcsync\n", ""));
        QVERIFY(onDisk(ntpsecConf).contains("server ntp.example.org iburst\n"));
        QCOMPARE(inode(openntpdConf), openntpdFile);
        QCOMPARE(systemctl(QStringLiteral("is-active chrony.service")), QStringLiteral("active"));
        QVERIFY(systemctl(QStringLiteral("show -p MainPID chrony.service")) != pid);
        // The sync list offers the servers as configured.
        QVERIFY(m_controller->getListServersToSync().contains(QStringLiteral("ntp.example.org")));

        // Saved, but the restart fails: the user learns that and why.
        const QString dropIn = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/systemd/user/chrony.service.d");
        QVERIFY(QDir().mkpath(dropIn));
        ConfigTest::writeFile(dropIn + QStringLiteral("/fail.conf"), "[Service]\nExecStartPre=/bin/false\n");
        systemctl(QStringLiteral("daemon-reload"));
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        QString box;
        answerNextBox(&box);
        m_controller->applyConfig();
        QDir(dropIn).removeRecursively();
        systemctl(QStringLiteral("daemon-reload"));
        QCOMPARE(written.count(), 2);
        QVERIFY2(box.contains(QLatin1String("did not restart")), qPrintable(box));
    }

    void failedSaveStaysPending()
    {
        QWidget *ntp = child<QWidget>(page(TimesyncdPackage), "ntpServersEditor");
        addServer(ntp, QStringLiteral("192.0.2.1"));
        child<QCheckBox>(page(ChronyPackage), "rtcsyncChB")->click();
        // Someone edits timesyncd.conf meanwhile: it is not overwritten, and
        // chrony's file, in the row after it, stays pending too.
        const QByteArray theirs = m_original.value(timesyncdConf) + "NTP=elsewhere.example\n";
        put(timesyncdConf, theirs);
        QSignalSpy written(m_controller.get(), &LogicController::confWrited);
        QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
        QString box;
        answerNextBox(&box);
        m_controller->applyConfig();
        QCOMPARE(failed.count(), 1);
        QVERIFY2(box.contains(timesyncdConf) && box.contains(QLatin1String("changed on disk")), qPrintable(box));
        QCOMPARE(onDisk(timesyncdConf), theirs);
        QCOMPARE(onDisk(chronyConf), m_original.value(chronyConf));
        QVERIFY(m_controller->getListServersToSync().contains(QStringLiteral("192.0.2.1"))); // as edited

        // A malformed name in the file: shown, and refused until corrected.
        put(timesyncdConf, m_original.value(timesyncdConf) + "[Time]\nFallbackNTP=bad_name\n");
        m_controller->reloadSystemState();
        QWidget *fallback = child<QWidget>(page(TimesyncdPackage), "fallbackServersEditor");
        addServer(fallback, QStringLiteral("192.0.2.2"));
        answerNextBox(&box);
        m_controller->applyConfig();
        QCOMPARE(failed.count(), 2);
        QVERIFY(onDisk(timesyncdConf).endsWith("FallbackNTP=bad_name\n"));
        child<QListWidget>(fallback, "serversList")->setCurrentRow(0);
        child<QToolButton>(fallback, "removeServerBtn")->click();
        m_controller->applyConfig();
        QCOMPARE(written.count(), 1);
        QVERIFY(onDisk(timesyncdConf).endsWith("[Time]\nFallbackNTP=192.0.2.2\n"));
    }

    // The dialog takes no directive of the page's, and no second line.
    void dialogRefusesSmuggledLines()
    {
        m_controller->setCurrentSelectedService(m_controller->getInstalledServicesMap().keys().indexOf(OpenntpdPackage));
        bool refused = false;
        ConfigTest::whenModal([&](QWidget *dialog) {
            auto *table = child<QTableWidget>(dialog, "directivesTable");
            QPushButton *ok = child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
            child<QPushButton>(dialog, "addDirectiveBtn")->click();
            const int row = table->rowCount() - 1;
            table->item(row, 0)->setText(QStringLiteral("server")); // the page's own
            table->item(row, 1)->setText(QStringLiteral("evil.example"));
            refused = !ok->isEnabled();
            table->item(row, 0)->setText(QStringLiteral("constraints"));
            table->item(row, 1)->setText(QStringLiteral("from \"https://a.example\"\nserver evil.example"));
            refused = refused && !ok->isEnabled();
            table->item(row, 1)->setText(QStringLiteral("from \"https://a.example\""));
            ok->click();
        });
        m_controller->openMainSettingsDialog();
        QVERIFY(refused);
        m_controller->applyConfig();
        QVERIFY(onDisk(openntpdConf).endsWith("constraints from \"https://a.example\"\n"));
    }
};

QTEST_MAIN(SettingsTest)

#include "tst_settings.moc"
