// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The settings pages and dialog, driven as a user would, against the stock
// files in a temporary system root: what each edit does to the file.

#include "confighelpers.h"

#include "safefile.h"
#include "servicesettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

using ConfigTest::child;
using ConfigTest::whenModal;

namespace
{
const QString chronyPath = QStringLiteral("/etc/chrony/chrony.conf");
const QString timesyncdPath = QStringLiteral("/etc/systemd/timesyncd.conf");

bool isMarked(const QWidget *widget)
{
    return widget->property("invalid").toBool();
}
}

class SettingsPagesTest : public QObject
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
    void chronyServers();
    void chronyClock();
    void timesyncdPage();
    void mainSettingsDialog();
    void malformedNamesRefused();
    void writerGetsSystemPath();

private:
    QString real(const QString &systemPath) const
    {
        return m_root.path() + systemPath;
    }
    QByteArray onDisk(const QString &systemPath) const
    {
        return ConfigTest::readFile(real(systemPath));
    }
    void put(const QString &systemPath, const QByteArray &content)
    {
        ConfigTest::writeFile(real(systemPath), content);
    }

    QTemporaryDir m_root;
    QByteArray m_chronyStock;
    QByteArray m_timesyncdStock;
};

void SettingsPagesTest::initTestCase()
{
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    QVERIFY(m_root.isValid());
    qputenv("ZELADMINTIME_SYSROOT", QFile::encodeName(m_root.path()));
    m_chronyStock = ConfigTest::stockFile(QStringLiteral("chrony"), chronyPath);
    m_timesyncdStock = ConfigTest::stockFile(QStringLiteral("systemd-timesyncd"), timesyncdPath);
    QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("etc/chrony")));
    QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("etc/systemd")));
}

void SettingsPagesTest::init()
{
    ServiceSettings::setWriter(nullptr);
    put(chronyPath, m_chronyStock);
    put(timesyncdPath, m_timesyncdStock);
}

void SettingsPagesTest::chronyServers()
{
    ServiceSettings settings(ChronyPackage);
    QWidget *page = settings.page();
    page->show();
    QSignalSpy changed(&settings, &ServiceSettings::changed);
    auto *list = child<QListWidget>(page, "serversList");
    auto *newServer = child<QLineEdit>(page, "newServerEdit");
    auto *add = child<QPushButton>(page, "addServerBtn");
    auto *address = child<QLineEdit>(page, "addressEdit");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("2.debian.pool.ntp.org"));

    // Characters no address has are not even taken; a text that is not an
    // address yet is marked and cannot be added.
    QTest::keyClicks(newServer, QStringLiteral("bad_name"));
    QCOMPARE(newServer->text(), QStringLiteral("badname"));
    newServer->clear();
    QTest::keyClicks(newServer, QStringLiteral("10.0.0"));
    QVERIFY(isMarked(newServer));
    QVERIFY(!add->isEnabled());
    QTest::keyClick(newServer, Qt::Key_Return);
    QCOMPARE(list->count(), 1);
    QCOMPARE(changed.count(), 0);

    newServer->clear();
    QTest::keyClicks(newServer, QStringLiteral("ntp.example.org"));
    QVERIFY(!isMarked(newServer));
    QVERIFY(add->isEnabled());
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(list->count(), 2);
    QVERIFY(settings.isModified());
    // A new server goes right after the last one, with iburst.
    QVERIFY(settings.content().contains("pool 2.debian.pool.ntp.org iburst\nserver ntp.example.org iburst\n"));

    // The same address twice is refused.
    QTest::keyClicks(newServer, QStringLiteral("NTP.example.org"));
    QVERIFY(!add->isEnabled());
    newServer->clear();

    // Options of the selected (new) server.
    QCOMPARE(list->currentRow(), 1);
    child<QCheckBox>(page, "preferChB")->click();
    child<QSpinBox>(page, "maxpollSpin")->setValue(10);
    QVERIFY(settings.content().contains("\nserver ntp.example.org iburst prefer maxpoll 10\n"));
    // A minimum above the maximum is marked and not taken.
    auto *minpoll = child<QSpinBox>(page, "minpollSpin");
    minpoll->setValue(12);
    QVERIFY(isMarked(minpoll));
    QVERIFY(!settings.content().contains("minpoll"));
    minpoll->setValue(6);
    QVERIFY(!isMarked(minpoll));
    QVERIFY(settings.content().contains("\nserver ntp.example.org iburst prefer minpoll 6 maxpoll 10\n"));

    // The pool: an address being typed is not taken until it is one.
    list->setCurrentRow(0);
    QCOMPARE(address->text(), QStringLiteral("2.debian.pool.ntp.org"));
    const QByteArray before = settings.content();
    const int edits = changed.count();
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("192.0.2"));
    QVERIFY(isMarked(address));
    QCOMPARE(settings.content(), before);
    QCOMPARE(changed.count(), edits);
    QTest::keyClicks(address, QStringLiteral(".7"));
    QVERIFY(!isMarked(address));
    QVERIFY(settings.content().contains("\npool 192.0.2.7 iburst\n"));
    // Kind: pool becomes server.
    auto *kind = child<QComboBox>(page, "kindCombo");
    QCOMPARE(kind->currentText(), QStringLiteral("pool"));
    kind->setFocus();
    QTest::keyClick(kind, Qt::Key_Up);
    QCOMPARE(kind->currentText(), QStringLiteral("server"));
    QVERIFY(settings.content().contains("\nserver 192.0.2.7 iburst\n"));

    // Reorder, then remove.
    list->setCurrentRow(1);
    child<QToolButton>(page, "moveUpBtn")->click();
    QCOMPARE(list->item(0)->text(), QStringLiteral("ntp.example.org"));
    QCOMPARE(settings.configuredServers(), (QStringList{QStringLiteral("ntp.example.org"), QStringLiteral("192.0.2.7")}));
    QVERIFY(settings.content().contains("# Use Debian vendor zone.\nserver ntp.example.org iburst prefer minpoll 6 maxpoll 10\nserver 192.0.2.7 iburst\n"));
    list->setCurrentRow(1);
    child<QToolButton>(page, "removeServerBtn")->click();
    QCOMPARE(list->count(), 1);

    // Written: exactly the one server line differs from the stock file,
    // and the file keeps its mode and group.
    const QByteArray file = QFile::encodeName(real(chronyPath));
    const bool root = geteuid() == 0;
    QVERIFY(chmod(file.constData(), 0604) == 0 && (!root || chown(file.constData(), 0, 4321) == 0));
    QString error;
    QVERIFY2(settings.write(&error), qPrintable(error));
    struct stat info;
    QCOMPARE(stat(file.constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0604));
    QVERIFY(!root || info.st_gid == 4321);
    QVERIFY(!settings.isModified());
    const ConfigTest::Diff d = ConfigTest::diff(m_chronyStock, onDisk(chronyPath));
    QCOMPARE(d.removed, QList<QByteArray>{"pool 2.debian.pool.ntp.org iburst\n"});
    QCOMPARE(d.added, QList<QByteArray>{"server ntp.example.org iburst prefer minpoll 6 maxpoll 10\n"});
    // The page goes on from what is on disk now.
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("ntp.example.org"));
}

void SettingsPagesTest::chronyClock()
{
    ServiceSettings settings(ChronyPackage);
    QWidget *page = settings.page();
    QSignalSpy changed(&settings, &ServiceSettings::changed);
    auto *makestep = child<QCheckBox>(page, "makestepChB");
    auto *limit = child<QSpinBox>(page, "makestepLimitSpin");
    auto *rtcsync = child<QCheckBox>(page, "rtcsyncChB");
    QVERIFY(makestep->isChecked());
    QCOMPARE(limit->value(), 3);
    QVERIFY(rtcsync->isChecked());

    limit->setValue(-1);
    QCOMPARE(limit->text(), limit->specialValueText());
    QCOMPARE(changed.count(), 1);
    ConfigTest::Diff d = ConfigTest::diff(m_chronyStock, settings.content());
    QCOMPARE(d.added, QList<QByteArray>{"makestep 1 -1\n"});
    limit->setValue(3);
    QVERIFY(!settings.isModified());

    rtcsync->click();
    makestep->click();
    QVERIFY(!limit->isEnabled());
    d = ConfigTest::diff(m_chronyStock, settings.content());
    QCOMPARE(d.removed, (QList<QByteArray>{"rtcsync\n", "makestep 1 3\n"}));
    QVERIFY(d.added.isEmpty());
    QCOMPARE(changed.count(), 4);
}

void SettingsPagesTest::timesyncdPage()
{
    ServiceSettings settings(TimesyncdPackage);
    QWidget *page = settings.page();
    QSignalSpy changed(&settings, &ServiceSettings::changed);
    auto *ntp = child<QWidget>(page, "ntpServersEditor");
    auto *fallback = child<QWidget>(page, "fallbackServersEditor");
    // timesyncd's lists hold bare addresses.
    QVERIFY(child<QComboBox>(ntp, "kindCombo")->isHidden());
    QVERIFY(child<QCheckBox>(ntp, "iburstChB")->isHidden());
    QCOMPARE(child<QListWidget>(fallback, "serversList")->count(), 0);

    QTest::keyClicks(child<QLineEdit>(ntp, "newServerEdit"), QStringLiteral("ntp1.example.org"));
    child<QPushButton>(ntp, "addServerBtn")->click();
    QTest::keyClicks(child<QLineEdit>(ntp, "newServerEdit"), QStringLiteral("2001:db8::123"));
    child<QPushButton>(ntp, "addServerBtn")->click();
    QCOMPARE(changed.count(), 2);

    auto *rootDistance = child<QSpinBox>(page, "rootDistanceSpin");
    auto *pollMin = child<QSpinBox>(page, "pollMinSpin");
    auto *pollMax = child<QSpinBox>(page, "pollMaxSpin");
    QCOMPARE(rootDistance->text(), QStringLiteral("Default (5 s)"));
    rootDistance->setValue(10);
    QCOMPARE(rootDistance->suffix(), QStringLiteral(" s"));
    // 4096 s as the minimum with the default maximum (2048 s) is refused.
    pollMin->setValue(4096);
    QVERIFY(isMarked(pollMin) && isMarked(pollMax));
    QVERIFY(child<QLabel>(page, "timingHintLabel")->isVisibleTo(page));
    QVERIFY(!settings.content().contains("PollIntervalMinSec=4096"));
    pollMax->setValue(8192);
    QVERIFY(!isMarked(pollMin));
    QCOMPARE(changed.count(), 4);

    QString error;
    QVERIFY2(settings.write(&error), qPrintable(error));
    const ConfigTest::Diff d = ConfigTest::diff(m_timesyncdStock, onDisk(timesyncdPath));
    QVERIFY(d.removed.isEmpty());
    QCOMPARE(d.added,
             (QList<QByteArray>{"NTP=ntp1.example.org 2001:db8::123\n", "RootDistanceMaxSec=10\n", "PollIntervalMinSec=4096\n", "PollIntervalMaxSec=8192\n"}));

    // Read back by a new page; setting a value back to the default drops
    // its line.
    ServiceSettings again(TimesyncdPackage);
    QCOMPARE(again.configuredServers(), (QStringList{QStringLiteral("ntp1.example.org"), QStringLiteral("2001:db8::123")}));
    auto *distance = child<QSpinBox>(again.page(), "rootDistanceSpin");
    QCOMPARE(distance->value(), 10);
    distance->setValue(distance->minimum());
    QVERIFY(!again.content().contains("RootDistanceMaxSec=10"));
}

void SettingsPagesTest::mainSettingsDialog()
{
    ServiceSettings settings(ChronyPackage);
    QVERIFY(settings.hasMainSettings());
    QSignalSpy changed(&settings, &ServiceSettings::changed);
    bool wasOpen = false;
    bool okRefused = false;

    // Cancel drops what was edited.
    whenModal([&](QWidget *dialog) {
        auto *table = child<QTableWidget>(dialog, "directivesTable");
        table->item(0, 1)->setText(QStringLiteral("/elsewhere"));
        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    settings.openMainSettingsDialog(nullptr);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!settings.isModified());

    whenModal([&](QWidget *dialog) {
        wasOpen = settings.isDialogOpen();
        auto *table = child<QTableWidget>(dialog, "directivesTable");
        QPushButton *ok = child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
        // The page's directives are not offered.
        for (int row = 0; row < table->rowCount(); ++row) {
            QVERIFY(table->item(row, 0)->text() != QLatin1String("pool") && table->item(row, 0)->text() != QLatin1String("makestep"));
            if (table->item(row, 0)->text() == QLatin1String("maxupdateskew")) {
                table->item(row, 1)->setText(QStringLiteral("50.0"));
            }
        }
        child<QPushButton>(dialog, "addDirectiveBtn")->click();
        const int row = table->rowCount() - 1;
        table->item(row, 0)->setText(QStringLiteral("server"));
        table->item(row, 1)->setText(QStringLiteral("evil.example"));
        okRefused = !ok->isEnabled() && child<QLabel>(dialog, "errorLabel")->isVisibleTo(dialog);
        table->item(row, 0)->setText(QStringLiteral("log"));
        table->item(row, 1)->setText(QStringLiteral("tracking\nserver evil.example"));
        okRefused = okRefused && !ok->isEnabled();
        table->item(row, 1)->setText(QStringLiteral("tracking"));
        ok->click();
    });
    settings.openMainSettingsDialog(nullptr);
    QVERIFY(wasOpen);
    QVERIFY(okRefused);
    QVERIFY(!settings.isDialogOpen());
    QCOMPARE(changed.count(), 1);
    const ConfigTest::Diff d = ConfigTest::diff(m_chronyStock, settings.content());
    QCOMPARE(d.removed, QList<QByteArray>{"maxupdateskew 100.0\n"});
    QCOMPARE(d.added, (QList<QByteArray>{"maxupdateskew 50.0\n", "log tracking\n"}));
}

void SettingsPagesTest::malformedNamesRefused()
{
    // A file that already names a server wrongly: shown, marked, and not
    // written back until it is corrected.
    const QByteArray broken = m_chronyStock + "server bad_name.example iburst\n";
    put(chronyPath, broken);
    ServiceSettings settings(ChronyPackage);
    auto *list = child<QListWidget>(settings.page(), "serversList");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QStringLiteral("bad_name.example"));
    QVERIFY(!list->item(1)->toolTip().isEmpty());
    QCOMPARE(settings.configuredServers(), QStringList{QStringLiteral("2.debian.pool.ntp.org")});

    child<QCheckBox>(settings.page(), "rtcsyncChB")->click();
    QVERIFY(settings.isModified());
    QString error;
    QVERIFY(!settings.write(&error));
    QVERIFY2(error.contains(chronyPath) && error.contains(QLatin1String("bad_name.example")), qPrintable(error));
    QCOMPARE(onDisk(chronyPath), broken);
    QVERIFY(settings.isModified());

    // Corrected on the page, it is written.
    list->setCurrentRow(1);
    auto *address = child<QLineEdit>(settings.page(), "addressEdit");
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("good.example"));
    QVERIFY2(settings.write(&error), qPrintable(error));
    QVERIFY(onDisk(chronyPath).endsWith("server good.example iburst\n"));
}

void SettingsPagesTest::writerGetsSystemPath()
{
    // What the helper would be given: the machine's path, never the
    // system root's, and the hash of the content as read.
    ServiceSettings settings(TimesyncdPackage);
    QString path;
    QByteArray hash;
    QByteArray content;
    ServiceSettings::setWriter([&](const QString &p, const QByteArray &c, const QByteArray &h, QWidget *, QString *error) {
        path = p;
        content = c;
        hash = h;
        *error = QStringLiteral("refused by test");
        return false;
    });
    QWidget *ntp = child<QWidget>(settings.page(), "ntpServersEditor");
    QTest::keyClicks(child<QLineEdit>(ntp, "newServerEdit"), QStringLiteral("192.0.2.10"));
    child<QPushButton>(ntp, "addServerBtn")->click();
    QString error;
    QVERIFY(!settings.write(&error));
    QCOMPARE(error, QStringLiteral("refused by test"));
    QCOMPARE(path, timesyncdPath);
    QCOMPARE(hash, SafeFile::hashOf(m_timesyncdStock));
    QCOMPARE(content, settings.content());
    QVERIFY(settings.isModified());
}

QTEST_MAIN(SettingsPagesTest)

#include "tst_settingspages.moc"
