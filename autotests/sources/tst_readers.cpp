// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The readers of what a running service says, inside the sandbox machine:
// the pages' Sources tables follow the running chronyd and timesyncd's bus
// object and signal; the status line's and the last-sync info's readers ask
// the same tools and object; the Test action asks without setting the clock.

#include "authhelper/chronycommand.h"
#include "common/programs.h"
#include "diagnosis/chronyfix.h"
#include "diagnosis/diagnosisview.h"
#include "settingspages/directivepage.h"
#include "settingspages/timesyncdpage.h"
#include "sources/servertester.h"
#include "sources/sourcesmodel.h"
#include "sources/sourcesview.h"
#include "syncstate/lastsyncreader.h"
#include "syncstate/sourcesmonitor.h"
#include "syncstate/syncstatus.h"
#include "testhelpers.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>

Q_DECLARE_METATYPE(LastSynchroInfo)
Q_DECLARE_METATYPE(ServerCheck)

// timesyncd's manager on the sandbox's bus, as far as the readers read it.
struct FakeAddress {
    qint32 family = 10; // AF_INET6
    QByteArray bytes = QByteArray::fromHex("20010db8000000000000000000000007");
};
struct FakeMessage { // NTPMessage: uuuuittayttttbtt, times in microseconds
    quint64 t1 = 1796544512000000, t2 = 1796544512600000, t3 = 1796544512700000, t4 = 1796544512300000;
};
QDBusArgument &operator<<(QDBusArgument &a, const FakeAddress &v)
{
    a.beginStructure();
    a << v.family << v.bytes;
    a.endStructure();
    return a;
}
QDBusArgument &operator<<(QDBusArgument &a, const FakeMessage &v)
{
    a.beginStructure();
    a << 0u << 4u << 4u << 2u << qint32(-20) << quint64(0) << quint64(0) << QByteArray("GPS") << v.t1 << v.t2 << v.t3 << v.t4 << false << quint64(1)
      << quint64(20);
    a.endStructure();
    return a;
}
template<typename T>
const QDBusArgument &operator>>(const QDBusArgument &a, T &)
{
    return a;
}
Q_DECLARE_METATYPE(FakeAddress)
Q_DECLARE_METATYPE(FakeMessage)

class FakeTimesyncd : public QDBusVirtualObject
{
public:
    bool hung = false; // never answers
    QVariantMap properties{{QStringLiteral("ServerName"), QStringLiteral("ntp.example.org")},
                           {QStringLiteral("ServerAddress"), QVariant::fromValue(FakeAddress())},
                           {QStringLiteral("SystemNTPServers"), QStringList{QStringLiteral("ntp.example.org"), QStringLiteral("192.0.2.4")}},
                           {QStringLiteral("PollIntervalUSec"), quint64(64000000)},
                           {QStringLiteral("NTPMessage"), QVariant::fromValue(FakeMessage())}};
    QString introspect(const QString &) const override
    {
        return {};
    }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        return message.member() == QLatin1String("GetAll") && (hung || connection.send(message.createReply(QVariant(properties))));
    }
};

static int systemctl(const QString &verb, const QString &unit)
{
    const QStringList manager = qgetenv("ZEL_SANDBOX_MODE") == "system" ? QStringList() : QStringList{QStringLiteral("--user")};
    return QProcess::execute(QStringLiteral("systemctl"), manager + QStringList{verb, unit});
}

// Asks once; the answer comes from the event loop, never from inside the call.
static QString lastSync(LastSyncReader &reader, const QString &service)
{
    QSignalSpy received(&reader, &LastSyncReader::received);
    if (!reader.request(service, 30000) || !received.isEmpty() || !received.wait(60000)) {
        return QStringLiteral("no answer from the event loop");
    }
    const auto info = received.first().first().value<LastSynchroInfo>();
    return info.server.isEmpty() ? info.date + info.time : info.server;
}

class ReadersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qRegisterMetaType<LastSynchroInfo>();
        qRegisterMetaType<ServerCheck>();
        QVERIFY2(TestHelpers::insideSandbox(), "runs inside the sandbox machine only");
        m_page = new DirectivePage(DirectiveFormat::Chrony, QDBusConnection::systemBus());
        m_page->show();
    }

    void chrony()
    {
        auto *view = m_page->findChild<SourcesView *>();
        auto *line = view->findChild<QLabel *>(QStringLiteral("sourcesLine"));
        auto *table = view->findChild<QTableView *>(QStringLiteral("sourcesTable"));
        auto *model = qobject_cast<SourcesModel *>(table->model());
        SourcesMonitor::Status status = SourcesMonitor::Status::Reading;
        // Gone with this function, and with it the lambda that writes `status`.
        const QObject watching;
        connect(view->monitor(), &SourcesMonitor::updated, &watching, [&status](SourcesMonitor::Status now) {
            status = now;
        });
        // chronyd is stopped: one line says so, and no program is run for it.
        QTRY_VERIFY_WITH_TIMEOUT(status == SourcesMonitor::Status::NotActive && line->isVisible() && !table->isVisible(), 30000);
        QVERIFY(model->rows().isEmpty());
        // The finding in words, for the eye and for a screen reader.
        auto *diagnosis = view->findChild<DiagnosisView *>();
        auto *words = diagnosis->findChild<QLabel *>(QStringLiteral("diagnosisLabel"));
        QTRY_COMPARE_WITH_TIMEOUT(diagnosis->finding().kind, Finding::NotRunning, 30000);
        QVERIFY(words->isVisible());
        QVERIFY(!words->text().isEmpty());
        QCOMPARE(words->accessibleDescription(), words->text());
        // Another service meanwhile holds the clock.
        QCOMPARE(systemctl(QStringLiteral("start"), QStringLiteral("systemd-timesyncd.service")), 0);
        QTRY_COMPARE_WITH_TIMEOUT(diagnosis->finding().others, QStringList{QStringLiteral("systemd-timesyncd.service")}, 30000);
        QCOMPARE(diagnosis->finding().kind, Finding::OtherActive);
        QCOMPARE(systemctl(QStringLiteral("stop"), QStringLiteral("systemd-timesyncd.service")), 0);

        QCOMPARE(systemctl(QStringLiteral("start"), QStringLiteral("chrony.service")), 0);
        auto followed = [model] {
            const auto rows = model->rows();
            return rows.size() == 1 && rows.at(0).address == QLatin1String("127.0.0.1") && rows.at(0).state == SourceRow::Followed ? rows.at(0).reach : -1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(followed() > 0 && status == SourcesMonitor::Status::Shown && table->isVisible() && !line->isVisible(), 60000);
        // Every poll answers: the reach fills up to all eight.
        QTRY_COMPARE_WITH_TIMEOUT(followed(), 0377, 60000);
        QCOMPARE(model->rows().at(0).stratum, 10);
        QTRY_COMPARE_WITH_TIMEOUT(diagnosis->finding().kind, Finding::Synchronized, 30000);
        QCOMPARE(diagnosis->finding().server + QString::number(diagnosis->finding().stratum), QStringLiteral("127.0.0.110"));

        // A server NetworkManager's dispatcher wrote from DHCP: in the table and the origins.
        QFile dhcp(qEnvironmentVariable("ZELADMINTIME_SYSROOT") + QLatin1String("/run/chrony-dhcp/eth0.sources"));
        QVERIFY(dhcp.open(QIODevice::WriteOnly));
        QVERIFY(dhcp.write("server 127.0.0.2 iburst\n") > 0);
        dhcp.close();
        QCOMPARE(QProcess::execute(QStringLiteral("chronyc"), {QStringLiteral("reload"), QStringLiteral("sources")}), 0);
        auto *origins = view->findChild<QLabel *>(QStringLiteral("originsLine"));
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount() == 2 && origins->isVisible() && origins->text().contains(QLatin1String("/run/chrony-dhcp/eth0.sources")),
                                 30000);
        QCOMPARE(model->index(1, SourcesModel::OriginColumn).data(), SourcesModel::originText(SourceOrigin::Dhcp));
        QCOMPARE(model->index(0, SourcesModel::OriginColumn).data(Qt::ToolTipRole), QStringLiteral("/etc/chrony/chrony.conf"));
        dhcp.remove();
        QCOMPARE(QProcess::execute(QStringLiteral("chronyc"), {QStringLiteral("reload"), QStringLiteral("sources")}), 0);

        // The status line's reader asks the same chronyd.
        SyncStatus sync(QDBusConnection::systemBus());
        QTRY_VERIFY_WITH_TIMEOUT(sync.isSynchronized(ChronyPackage, 0), 60000);
    }

    // While chronyd runs: its own program as root, the helper's action
    // otherwise; the sandbox cannot set the clock, so makestep is refused.
    void fixes_data()
    {
        QTest::addColumn<int>("fix");
        QTest::addColumn<bool>("helper");
        QTest::addColumn<QString>("said"); // chronyc's answer when refused
        QTest::newRow("burst") << int(Finding::Burst) << false << "";
        QTest::newRow("online through the helper") << int(Finding::Online) << true << "";
        QTest::newRow("makestep") << int(Finding::MakeStep) << false << "500 Failure";
        QTest::newRow("makestep through the helper") << int(Finding::MakeStep) << true << "500 Failure";
    }

    void fixes()
    {
        QFETCH(int, fix);
        QFETCH(bool, helper);
        QFETCH(QString, said);
        QCOMPARE(systemctl(QStringLiteral("start"), QStringLiteral("chrony.service")), 0);
        ChronyFix fixer;
        fixer.setThroughHelper(helper);
        QSignalSpy finished(&fixer, &ChronyFix::finished);
        QVERIFY(fixer.run(Finding::Fix(fix), nullptr));
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(1).value<ChronyFix::Outcome>(), said.isEmpty() ? ChronyFix::Outcome::Done : ChronyFix::Outcome::Failed);
        QVERIFY2(finished.first().at(2).toString().contains(said), qPrintable(finished.first().at(2).toString()));
        // The helper's list: anything else, or any other argument, is refused.
        QStringList arguments;
        const QVariantMap bad[] = {ChronyCommand::request(QStringLiteral("makestep"), QStringLiteral("127.0.0.1")),
                                   ChronyCommand::request(QStringLiteral("burst"), QStringLiteral("-a")),
                                   ChronyCommand::request(QStringLiteral("reload")),
                                   {{QStringLiteral("command"), QStringLiteral("online")}, {QStringLiteral("mask"), QStringLiteral("0")}}};
        for (const QVariantMap &request : bad) {
            QVERIFY(!ChronyCommand::arguments(request, &arguments));
        }
    }

    // The desktop's switch: off, and naming timesyncd's unit, while chrony
    // runs; then a timedated that never answers.
    void desktopSwitch()
    {
        const QString list = qEnvironmentVariable("ZELADMINTIME_SYSROOT") + QLatin1String("/usr/lib/systemd/ntp-units.d/80-systemd-timesync.list");
        QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("mkdir -p ${0%/*} && echo systemd-timesyncd.service >$0"), list}), 0);
        QDBusConnection own = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-timedated"));
        FakeTimesyncd fake; // timedated as the desktop's switch reads it
        fake.properties = {{QStringLiteral("NTP"), false}, {QStringLiteral("CanNTP"), true}, {QStringLiteral("NTPSynchronized"), false}};
        QVERIFY(own.registerVirtualObject(QStringLiteral("/org/freedesktop/timedate1"), &fake));
        QVERIFY(own.registerService(QStringLiteral("org.freedesktop.timedate1")));
        const auto gone = qScopeGuard([&own, &list] {
            own.unregisterService(QStringLiteral("org.freedesktop.timedate1"));
            own.unregisterObject(QStringLiteral("/org/freedesktop/timedate1"));
            QFile::remove(list);
        });
        QCOMPARE(systemctl(QStringLiteral("start"), QStringLiteral("chrony.service")), 0);
        auto *diagnosis = m_page->findChild<DiagnosisView *>();
        const auto said = [diagnosis]() -> QString {
            return QString::number(diagnosis->finding().desktopSwitch) + QLatin1Char(' ') + diagnosis->finding().switchUnit;
        };
        QTRY_COMPARE_WITH_TIMEOUT(said(), QStringLiteral("4 systemd-timesyncd.service"), 30000);
        fake.hung = true;
        QTRY_VERIFY2_WITH_TIMEOUT(said().startsWith(QLatin1String("1 ")), qPrintable(said()), 60000);
        QVERIFY(!diagnosis->findChild<QLabel *>(QStringLiteral("diagnosisLabel"))->text().contains(QLatin1String("systemd-timesyncd.service")));
    }

    // NTS against a real NTS server: the Test button's key exchange, and
    // chronyd's state in the table; then the server stopped.
    void nts()
    {
        const QString script = QLatin1String(ZEL_DIAGNOSIS_FIXTURES "ntsserver.sh");
        QCOMPARE(QProcess::execute(QStringLiteral("bash"), {script, QStringLiteral("start")}), 0);
        const auto forget = qScopeGuard([&script] {
            QProcess::execute(QStringLiteral("bash"), {script, QStringLiteral("forget")});
        });
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        QVERIFY(trusting.addCaCertificates(qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/nts-server/cert.pem")));
        QSslConfiguration::setDefaultConfiguration(trusting);
        const auto test = [] {
            ServerTester tester;
            QSignalSpy finished(&tester, &ServerTester::finished);
            tester.start(QStringLiteral("127.0.0.5"), true);
            return finished.wait(60000) ? finished.first().first().value<ServerCheck>().nts : ServerCheck::NtsFails;
        };
        QCOMPARE(test(), ServerCheck::NtsWorks);
        auto *model = qobject_cast<SourcesModel *>(m_page->findChild<QTableView *>(QStringLiteral("sourcesTable"))->model());
        auto *words = m_page->findChild<QLabel *>(QStringLiteral("diagnosisLabel"));
        const auto nts = [model, words] {
            QString text = words->text();
            for (int row = 0; row < model->rowCount(); ++row) {
                text += model->index(row, SourcesModel::NtsColumn).data().toString();
            }
            return text;
        };
        // The key's length is the negotiated algorithm's: 256 bits with chrony
        // 4.3's AES-SIV-CMAC-256, 128 with 4.6's AES-128-GCM-SIV.
        const QRegularExpression key(QStringLiteral("key \\d+ \\((128|256) bits\\)"));
        QTRY_VERIFY2_WITH_TIMEOUT(key.match(nts()).hasMatch() && nts().contains(QLatin1String(", 8 cookies")) && !nts().contains(QLatin1String("NTS is")),
                                  qPrintable(nts()),
                                  60000);
        QProcess::execute(QStringLiteral("bash"), {script, QStringLiteral("stop")});
        QTRY_VERIFY2_WITH_TIMEOUT(nts().contains(QLatin1String("NTS is failing: the key exchange with 127.0.0.5 keeps failing.")), qPrintable(nts()), 60000);
        QCOMPARE(test(), ServerCheck::NtsNotChecked);
    }

    void testAction_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("stratum"); // -1: not reachable, 0: nothing to ask
        QTest::newRow("the sandbox's server") << "127.0.0.1" << 10;
        QTest::newRow("nothing listens") << "127.0.0.2" << -1;
        QTest::newRow("an option, not an address") << "-S" << 0;
    }

    void testAction()
    {
        QFETCH(QString, address);
        QFETCH(int, stratum);
        auto *edit = m_page->findChild<QLineEdit *>(QStringLiteral("newServerEdit"));
        auto *test = m_page->findChild<QPushButton *>(QStringLiteral("testServerBtn"));
        auto *result = m_page->findChild<QLabel *>(QStringLiteral("testResultLabel"));
        edit->setText(address);
        result->setProperty("reachable", QVariant());
        // A malformed address never reaches a program: Test stays off.
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled() || stratum == 0, 30000);
        QCOMPARE(test->isEnabled(), stratum != 0);
        if (stratum == 0) {
            return;
        }
        test->click();
        QVERIFY(!m_page->findChildren<QProcess *>().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(result->property("reachable").isValid(), 30000);
        QCOMPARE(result->property("reachable").toBool(), stratum > 0);
        if (stratum > 0) {
            QVERIFY2(result->text().contains(QString::number(stratum)), qPrintable(result->text()));
        }
    }

    // All three read the one object; the page follows its signal.
    void timesyncd()
    {
        // The chrony page's table asks only while shown; its runs would mix
        // with the stand-ins below.
        m_page->hide();
        qDBusRegisterMetaType<FakeAddress>();
        qDBusRegisterMetaType<FakeMessage>();
        QCOMPARE(systemctl(QStringLiteral("start"), QStringLiteral("systemd-timesyncd.service")), 0);
        QDBusConnection own = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-timesyncd"));
        FakeTimesyncd fake;
        QVERIFY(own.registerVirtualObject(QStringLiteral("/org/freedesktop/timesync1"), &fake));
        QVERIFY(own.registerService(QStringLiteral("org.freedesktop.timesync1")));
        const auto gone = qScopeGuard([&own] {
            own.unregisterService(QStringLiteral("org.freedesktop.timesync1"));
            own.unregisterObject(QStringLiteral("/org/freedesktop/timesync1"));
        });

        TimesyncdPage page(QDBusConnection::systemBus());
        auto *view = page.findChild<SourcesView *>();
        auto *model = qobject_cast<SourcesModel *>(view->findChild<QTableView *>()->model());
        // Only the daemon's own signal can bring news within the test's wait.
        view->monitor()->setInterval(3600000);
        page.show();
        auto rows = [model] {
            QStringList seen;
            for (const SourceRow &row : model->rows()) {
                seen.append(QStringLiteral("%1 %2 %3 %4").arg(row.name, row.address).arg(row.state).arg(row.stratum));
            }
            return seen.join(QLatin1Char(','));
        };
        QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringLiteral("ntp.example.org 2001:db8::7 0 2,192.0.2.4  5 -1"), 30000);
        SyncStatus sync(QDBusConnection::systemBus());
        QTRY_VERIFY_WITH_TIMEOUT(sync.isSynchronized(TimesyncdPackage, 0), 30000);
        LastSyncReader reader(QDBusConnection::systemBus());
        QCOMPARE(lastSync(reader, QStringLiteral("systemd-timesyncd")), QStringLiteral("ntp.example.org"));
        fake.properties[QStringLiteral("ServerName")] = QString();
        QCOMPARE(lastSync(reader, QStringLiteral("systemd-timesyncd")), QStringLiteral("2001:db8::7"));

        // No answer from the new server yet.
        fake.properties[QStringLiteral("ServerName")] = QStringLiteral("192.0.2.4");
        fake.properties[QStringLiteral("NTPMessage")] = QVariant::fromValue(FakeMessage{0, 0, 0, 0});
        QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/timesync1"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("PropertiesChanged"));
        changed << QStringLiteral("org.freedesktop.timesync1.Manager") << QVariantMap{{QStringLiteral("ServerName"), QStringLiteral("192.0.2.4")}}
                << QStringList();
        QVERIFY(own.send(changed));
        QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringLiteral("192.0.2.4 2001:db8::7 4 -1,ntp.example.org  5 -1"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!sync.isSynchronized(TimesyncdPackage, 0), 30000);
        QCOMPARE(lastSync(reader, QStringLiteral("systemd-timesyncd")), QString());
    }

    // The other services' tools, each run with its own arguments; a failing
    // or missing tool is an answer that nothing is known, not a time-out.
    void tools()
    {
        StandIns standIns;
        standIns.add(Programs::ntpq(), "echo 'leap=00, stratum=3, refid=192.0.2.10,'; echo 'reftime=e25a6793.80000000 Mon, May  4 2020 10:06:11.500,'");
        standIns.add(Programs::ntpctl(),
                     "echo peer; echo '   wt tl st  next  poll          offset       delay      jitter'; echo '192.0.2.5 ntp.example.org'\n"
                     "echo ' *  1 10  2   20s   32s        -0.105ms     1.102ms     0.218ms'");
        standIns.add(Programs::chronyc(), "echo '506 Cannot talk to daemon' >&2; exit 1");
        LastSyncReader reader(QDBusConnection::systemBus());
        QCOMPARE(lastSync(reader, QStringLiteral("ntpsec")), QStringLiteral("192.0.2.10"));
        QCOMPARE(lastSync(reader, QStringLiteral("openntpd")), QStringLiteral("192.0.2.5"));
        QCOMPARE(lastSync(reader, QStringLiteral("chrony")), QString());
        QCOMPARE(lastSync(reader, QString()), QString());
        SyncStatus sync(QDBusConnection::systemBus());
        QTRY_VERIFY_WITH_TIMEOUT(sync.isSynchronized(NtpsecPackage, 0), 30000);
        QCOMPARE(standIns.log(), QStringLiteral("-n -c rv\n-s peers\n-n -c tracking\n-n -c rv\n"));
        standIns.hideOthers();
        QCOMPARE(lastSync(reader, QStringLiteral("ntpsec")), QString());
    }

    // A hanging tool: the reader says it timed out, kills it, and the next
    // request gets its own answer.
    void hangingTool()
    {
        StandIns standIns;
        standIns.add(Programs::chronyc(), standIns.hang());
        standIns.add(Programs::ntpctl(), "echo peer");
        LastSyncReader reader(QDBusConnection::systemBus());
        QSignalSpy received(&reader, &LastSyncReader::received);
        QSignalSpy timedOut(&reader, &LastSyncReader::timedOut);
        QVERIFY(reader.request(QStringLiteral("chrony"), 300));
        QVERIFY(!reader.request(QStringLiteral("chrony"), 300)); // one at a time
        QTRY_COMPARE_WITH_TIMEOUT(timedOut.count(), 1, 30000);
        QVERIFY(standIns.hungOneEnds());
        QCOMPARE(lastSync(reader, QStringLiteral("openntpd")), QString());
        QCOMPARE(received.count(), 1);
        QCOMPARE(timedOut.count(), 1);
    }

private:
    DirectivePage *m_page = nullptr;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ReadersTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_readers.moc"
