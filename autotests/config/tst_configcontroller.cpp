// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The real controller's settings pages, settings dialog and applyConfig()
// inside the sandbox machine: its system root holds the four services'
// configuration files, its systemd --user the four units.

#include "confighelpers.h"

#include "logiccontroller.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

using ConfigTest::child;

namespace
{
QString rooted(const QString &systemPath)
{
    return qEnvironmentVariable("ZELADMINTIME_SYSROOT") + systemPath;
}

QByteArray readFile(const QString &systemPath)
{
    return ConfigTest::readFile(rooted(systemPath));
}

void writeFile(const QString &systemPath, const QByteArray &content)
{
    ConfigTest::writeFile(rooted(systemPath), content);
}

ino_t inode(const QString &systemPath)
{
    struct stat info;
    return stat(QFile::encodeName(rooted(systemPath)).constData(), &info) == 0 ? info.st_ino : 0;
}

QString systemctl(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Answers the next message box with Ok; its text and details go to `shown`.
void answerNextBox(QString *shown)
{
    ConfigTest::whenModal([shown](QWidget *dialog) {
        auto *box = static_cast<QMessageBox *>(dialog);
        *shown = box->text() + box->detailedText();
        box->button(QMessageBox::Ok)->click();
    });
}

const QString timesyncdConf = QStringLiteral("/etc/systemd/timesyncd.conf");
const QString chronyConf = QStringLiteral("/etc/chrony/chrony.conf");
const QString ntpsecConf = QStringLiteral("/etc/ntpsec/ntp.conf");
const QString openntpdConf = QStringLiteral("/etc/openntpd/ntpd.conf");
const QStringList allConfs{timesyncdConf, chronyConf, ntpsecConf, openntpdConf};
}

class ConfigControllerTest : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void pagesFollowRows();
    void untouchedFilesNotRewritten();
    void editWriteAndRestart();
    void failureLeavesChangesPending();
    void settingsDialog();

private:
    int rowOf(const QString &name) const;
    QWidget *pageOf(const QString &name) const;

    std::unique_ptr<LogicController> m_controller;
    QHash<QString, QByteArray> m_original;
};

void ConfigControllerTest::initTestCase()
{
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    QVERIFY2(!qEnvironmentVariableIsEmpty("ZELADMINTIME_SYSROOT"), "runs inside the sandbox machine");
    for (const QString &path : allConfs) {
        m_original.insert(path, readFile(path));
        QVERIFY2(!m_original.value(path).isEmpty(), qPrintable(path));
    }
}

void ConfigControllerTest::init()
{
    m_controller = std::make_unique<LogicController>(true);
}

void ConfigControllerTest::cleanup()
{
    m_controller.reset();
    for (auto it = m_original.cbegin(); it != m_original.cend(); ++it) {
        writeFile(it.key(), it.value());
    }
    systemctl({QStringLiteral("stop"), QStringLiteral("chrony.service")});
}

int ConfigControllerTest::rowOf(const QString &name) const
{
    const auto services = m_controller->getInstalledServicesMap();
    int row = 0;
    for (AbstractServiceClass *service : services) {
        if (service && QString(service->getServiceName()) == name) {
            return row;
        }
        ++row;
    }
    return -1;
}

QWidget *ConfigControllerTest::pageOf(const QString &name) const
{
    return m_controller->getInstalledServiceWidgets().value(rowOf(name));
}

void ConfigControllerTest::pagesFollowRows()
{
    const auto services = m_controller->getInstalledServicesMap();
    const QList<QWidget *> pages = m_controller->getInstalledServiceWidgets();
    QCOMPARE(pages.size(), services.size());
    QCOMPARE(services.size(), 4);
    const QStringList names{QStringLiteral("timesyncdSettingsPage"),
                            QStringLiteral("chronySettingsPage"),
                            QStringLiteral("ntpsecSettingsPage"),
                            QStringLiteral("openntpdSettingsPage")};
    for (int row = 0; row < pages.size(); ++row) {
        QVERIFY(pages.at(row));
        QCOMPARE(pages.at(row)->objectName(), names.at(row));
    }
    // The same widgets until a reload, and after one: the window may hold them.
    QCOMPARE(m_controller->getInstalledServiceWidgets(), pages);
    m_controller->reloadSystemState();
    QCOMPARE(m_controller->getInstalledServiceWidgets(), pages);

    // Each page shows its file.
    QCOMPARE(child<QListWidget>(pages.at(2), "serversList")->count(), 4);
    QCOMPARE(child<QListWidget>(pages.at(3), "serversList")->item(0)->text(), QStringLiteral("0.debian.pool.ntp.org"));
    for (int row = 0; row < pages.size(); ++row) {
        m_controller->setCurrentSelectedService(row);
        QVERIFY(m_controller->isMainSettingsAvailable());
    }
}

void ConfigControllerTest::untouchedFilesNotRewritten()
{
    QHash<QString, ino_t> inodes;
    for (const QString &path : allConfs) {
        inodes.insert(path, inode(path));
    }
    // An edit undone is no edit.
    QCheckBox *rtcsync = child<QCheckBox>(pageOf(QStringLiteral("chrony")), "rtcsyncChB");
    rtcsync->click();
    rtcsync->click();
    QSignalSpy written(m_controller.get(), &LogicController::confWrited);
    QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
    m_controller->applyConfig();
    QCOMPARE(written.count(), 1);
    QCOMPARE(failed.count(), 0);
    for (const QString &path : allConfs) {
        QCOMPARE(readFile(path), m_original.value(path));
        QCOMPARE(inode(path), inodes.value(path));
    }
}

void ConfigControllerTest::editWriteAndRestart()
{
    systemctl({QStringLiteral("start"), QStringLiteral("chrony.service")});
    QCOMPARE(systemctl({QStringLiteral("is-active"), QStringLiteral("chrony.service")}), QStringLiteral("active"));
    m_controller->reloadSystemState();
    const QString pidBefore = systemctl({QStringLiteral("show"), QStringLiteral("-p"), QStringLiteral("MainPID"), QStringLiteral("chrony.service")});

    QSignalSpy changed(m_controller.get(), &LogicController::oneServiceChanged);
    QWidget *chrony = pageOf(QStringLiteral("chrony"));
    QWidget *ntpsec = pageOf(QStringLiteral("ntpsec"));
    child<QCheckBox>(chrony, "rtcsyncChB")->click();
    QCOMPARE(changed.count(), 1);
    // A name the validator lets through only once it is an address.
    QTest::keyClicks(child<QLineEdit>(ntpsec, "newServerEdit"), QStringLiteral("ntp.example.org"));
    child<QPushButton>(ntpsec, "addServerBtn")->click();
    QCOMPARE(changed.count(), 2);

    QSignalSpy written(m_controller.get(), &LogicController::confWrited);
    QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
    m_controller->applyConfig();
    // Answered before applyConfig() returned.
    QCOMPARE(written.count(), 1);
    QCOMPARE(failed.count(), 0);

    ConfigTest::Diff d = ConfigTest::diff(m_original.value(chronyConf), readFile(chronyConf));
    QCOMPARE(d.removed, QList<QByteArray>{"rtcsync\n"});
    QVERIFY(d.added.isEmpty());
    d = ConfigTest::diff(m_original.value(ntpsecConf), readFile(ntpsecConf));
    QVERIFY(d.removed.isEmpty());
    QCOMPARE(d.added, QList<QByteArray>{"server ntp.example.org iburst\n"});
    QCOMPARE(readFile(timesyncdConf), m_original.value(timesyncdConf));

    // chrony was running: it runs again, with the new file.
    QCOMPARE(systemctl({QStringLiteral("is-active"), QStringLiteral("chrony.service")}), QStringLiteral("active"));
    QVERIFY(systemctl({QStringLiteral("show"), QStringLiteral("-p"), QStringLiteral("MainPID"), QStringLiteral("chrony.service")}) != pidBefore);
    QVERIFY(m_controller->getStartResult().isEmpty());

    // Nothing pending any more.
    m_controller->applyConfig();
    QCOMPARE(written.count(), 2);

    // Written, but the restart fails: the user learns that and why.
    const QString dropIn = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/systemd/user/chrony.service.d");
    QVERIFY(QDir().mkpath(dropIn));
    ConfigTest::writeFile(dropIn + QStringLiteral("/fail.conf"), "[Service]\nExecStartPre=/bin/false\n");
    systemctl({QStringLiteral("daemon-reload")});
    child<QCheckBox>(chrony, "rtcsyncChB")->click();
    QString box;
    answerNextBox(&box);
    m_controller->applyConfig();
    QDir(dropIn).removeRecursively();
    systemctl({QStringLiteral("daemon-reload")});
    QCOMPARE(written.count(), 3);
    QVERIFY2(box.contains(QLatin1String("chrony")) && box.contains(QLatin1String("did not restart")) && box.contains(QLatin1String("failed")), qPrintable(box));
}

void ConfigControllerTest::failureLeavesChangesPending()
{
    QWidget *timesyncd = pageOf(QStringLiteral("systemd-timesyncd"));
    QWidget *chrony = pageOf(QStringLiteral("chrony"));
    QWidget *ntpEditor = child<QWidget>(timesyncd, "ntpServersEditor");
    QTest::keyClicks(child<QLineEdit>(ntpEditor, "newServerEdit"), QStringLiteral("192.0.2.1"));
    child<QPushButton>(ntpEditor, "addServerBtn")->click();
    child<QCheckBox>(chrony, "rtcsyncChB")->click();

    // Someone edits timesyncd.conf meanwhile: it is not overwritten, and
    // chrony's file, in the row after it, stays pending too.
    const QByteArray theirs = m_original.value(timesyncdConf) + "NTP=elsewhere.example\n";
    writeFile(timesyncdConf, theirs);
    QSignalSpy written(m_controller.get(), &LogicController::confWrited);
    QSignalSpy failed(m_controller.get(), &LogicController::confWriteError);
    QString box;
    answerNextBox(&box);
    m_controller->applyConfig();
    QCOMPARE(failed.count(), 1);
    QCOMPARE(written.count(), 0);
    // The user learns which file, and that it changed on disk.
    QVERIFY2(box.contains(timesyncdConf) && box.contains(QLatin1String("changed on disk")), qPrintable(box));
    QCOMPARE(readFile(timesyncdConf), theirs);
    QCOMPARE(readFile(chronyConf), m_original.value(chronyConf));

    // A malformed name in a file is refused by the library as well.
    writeFile(timesyncdConf, m_original.value(timesyncdConf) + "[Time]\nFallbackNTP=bad_name\n");
    m_controller->reloadSystemState();
    QVERIFY(child<QCheckBox>(chrony, "rtcsyncChB")->isChecked());
    QCOMPARE(child<QListWidget>(ntpEditor, "serversList")->count(), 0);
    QWidget *fallback = child<QWidget>(timesyncd, "fallbackServersEditor");
    QTest::keyClicks(child<QLineEdit>(fallback, "newServerEdit"), QStringLiteral("192.0.2.2"));
    child<QPushButton>(fallback, "addServerBtn")->click();
    answerNextBox(&box);
    m_controller->applyConfig();
    QCOMPARE(failed.count(), 2);
    QVERIFY(readFile(timesyncdConf).endsWith("FallbackNTP=bad_name\n"));

    // Corrected, it goes through.
    auto *list = child<QListWidget>(fallback, "serversList");
    list->setCurrentRow(0);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("bad_name"));
    child<QToolButton>(fallback, "removeServerBtn")->click();
    m_controller->applyConfig();
    QCOMPARE(written.count(), 1);
    QVERIFY(readFile(timesyncdConf).endsWith("[Time]\nFallbackNTP=192.0.2.2\n"));
}

void ConfigControllerTest::settingsDialog()
{
    m_controller->getInstalledServiceWidgets();
    m_controller->setCurrentSelectedService(rowOf(QStringLiteral("openntpd")));
    QVERIFY(!m_controller->isSettingsOpened());
    bool openMeanwhile = false;
    QSignalSpy changed(m_controller.get(), &LogicController::oneServiceChanged);
    ConfigTest::whenModal([&](QWidget *dialog) {
        openMeanwhile = m_controller->isSettingsOpened();
        child<QPushButton>(dialog, "addDirectiveBtn")->click();
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("directivesTable"));
        table->item(table->rowCount() - 1, 0)->setText(QStringLiteral("constraints"));
        table->item(table->rowCount() - 1, 1)->setText(QStringLiteral("from \"https://www.example.org\""));
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    m_controller->openMainSettingsDialog();
    QVERIFY(openMeanwhile);
    QVERIFY(!m_controller->isSettingsOpened());
    QCOMPARE(changed.count(), 1);
    m_controller->applyConfig();
    QVERIFY(readFile(openntpdConf).endsWith("constraints from \"https://www.example.org\"\n"));
}

QTEST_MAIN(ConfigControllerTest)

#include "tst_configcontroller.moc"
