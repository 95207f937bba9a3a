// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The pages inside the sandbox machine: chrony's Sources table follows the
// running chronyd, timesyncd's follows its manager object and its signal, and
// the Test action asks servers without setting the clock (the sandbox cannot
// set it anyway).

#include "directivepage.h"
#include "sourcesmodel.h"
#include "sourcesmonitor.h"
#include "sourcesview.h"
#include "timesyncdpage.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>

// timesyncd's manager on the sandbox's bus, as far as the page reads it.
struct FakeAddress {
    qint32 family = 10; // AF_INET6
    QByteArray bytes = QByteArray::fromHex("20010db8000000000000000000000007");
};
struct FakeMessage { // NTPMessage: uuuuittayttttbtt
    quint64 t1 = 1000, t2 = 1600, t3 = 1700, t4 = 1300;
};
QDBusArgument &operator<<(QDBusArgument &a, const FakeAddress &v)
{
    a.beginStructure();
    a << v.family << v.bytes;
    a.endStructure();
    return a;
}
const QDBusArgument &operator>>(const QDBusArgument &a, FakeAddress &)
{
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
const QDBusArgument &operator>>(const QDBusArgument &a, FakeMessage &)
{
    return a;
}
Q_DECLARE_METATYPE(FakeAddress)
Q_DECLARE_METATYPE(FakeMessage)

class FakeTimesyncd : public QDBusVirtualObject
{
public:
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
        return message.member() == QLatin1String("GetAll") && connection.send(message.createReply(QVariant(properties)));
    }
};

class SourcesSandboxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chronySources();
    void testAction_data();
    void testAction();
    void timesyncdSources();

private:
    DirectivePage *m_page = nullptr;
};

void SourcesSandboxTest::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("ZEL_SANDBOX"), "runs inside the sandbox machine only");
    m_page = new DirectivePage(DirectiveFormat::Chrony);
    m_page->show();
}

void SourcesSandboxTest::chronySources()
{
    auto *view = m_page->findChild<SourcesView *>();
    auto *line = view->findChild<QLabel *>(QStringLiteral("sourcesLine"));
    auto *table = view->findChild<QTableView *>(QStringLiteral("sourcesTable"));
    auto *model = qobject_cast<SourcesModel *>(table->model());
    SourcesMonitor::Status status = SourcesMonitor::Status::Reading;
    connect(view->monitor(), &SourcesMonitor::updated, this, [&status](SourcesMonitor::Status now) {
        status = now;
    });
    // chronyd is stopped: one line says so, and no program is run for it.
    QTRY_VERIFY_WITH_TIMEOUT(status == SourcesMonitor::Status::NotActive && line->isVisible() && !table->isVisible(), 30000);
    QVERIFY(model->rows().isEmpty());

    QCOMPARE(QProcess::execute(QStringLiteral("systemctl"),
                               (qgetenv("ZEL_SANDBOX_MODE") == "system" ? QStringList() : QStringList{QStringLiteral("--user")})
                                   + QStringList{QStringLiteral("start"), QStringLiteral("chrony.service")}),
             0);
    auto followed = [model] {
        const auto rows = model->rows();
        return rows.size() == 1 && rows.at(0).address == QLatin1String("127.0.0.1") && rows.at(0).state == SourceRow::Followed ? rows.at(0).reach : -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(followed() > 0 && status == SourcesMonitor::Status::Shown && table->isVisible() && !line->isVisible(), 60000);
    const int first = followed();
    // Every poll answers: the reach fills up to all eight.
    QTRY_COMPARE_WITH_TIMEOUT(followed(), 0377, 60000);
    QVERIFY(first == 0377 || (first & 0377) != 0377);
    QCOMPARE(model->rows().at(0).stratum, 10);
}

void SourcesSandboxTest::testAction_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("stratum"); // -1: no answer
    QTest::newRow("the sandbox's server") << "127.0.0.1" << 10;
    QTest::newRow("nothing listens") << "127.0.0.2" << -1;
    QTest::newRow("an option, not an address") << "-S" << -1;
}

void SourcesSandboxTest::testAction()
{
    QFETCH(QString, address);
    QFETCH(int, stratum);
    auto *edit = m_page->findChild<QLineEdit *>(QStringLiteral("newServerEdit"));
    auto *test = m_page->findChild<QPushButton *>(QStringLiteral("testServerBtn"));
    auto *result = m_page->findChild<QLabel *>(QStringLiteral("testResultLabel"));
    edit->setText(address);
    result->setProperty("reachable", QVariant());
    QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 30000);
    test->click();
    // A malformed address never reaches a program.
    QCOMPARE(!m_page->findChildren<QProcess *>().isEmpty(), address != QLatin1String("-S"));
    QTRY_VERIFY_WITH_TIMEOUT(result->property("reachable").isValid(), 30000);
    QCOMPARE(result->property("reachable").toBool(), stratum > 0);
    if (stratum > 0) {
        QVERIFY2(result->text().contains(QString::number(stratum)), qPrintable(result->text()));
    }
}

void SourcesSandboxTest::timesyncdSources()
{
    qDBusRegisterMetaType<FakeAddress>();
    qDBusRegisterMetaType<FakeMessage>();
    const QStringList manager = qgetenv("ZEL_SANDBOX_MODE") == "system" ? QStringList() : QStringList{QStringLiteral("--user")};
    QCOMPARE(QProcess::execute(QStringLiteral("systemctl"), manager + QStringList{QStringLiteral("start"), QStringLiteral("systemd-timesyncd.service")}), 0);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("fake-timesyncd"));
    FakeTimesyncd fake;
    QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/timesync1"), &fake));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.timesync1")));
    const auto gone = qScopeGuard([&bus] {
        bus.unregisterService(QStringLiteral("org.freedesktop.timesync1"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/timesync1"));
    });

    TimesyncdPage page;
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

    fake.properties[QStringLiteral("ServerName")] = QStringLiteral("192.0.2.4");
    fake.properties[QStringLiteral("NTPMessage")] = QVariant::fromValue(FakeMessage{0, 0, 0, 0});
    QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/timesync1"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("PropertiesChanged"));
    changed << QStringLiteral("org.freedesktop.timesync1.Manager") << QVariantMap{{QStringLiteral("ServerName"), QStringLiteral("192.0.2.4")}} << QStringList();
    QVERIFY(bus.send(changed));
    QTRY_COMPARE_WITH_TIMEOUT(rows(), QStringLiteral("192.0.2.4 2001:db8::7 4 -1,ntp.example.org  5 -1"), 30000);
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SourcesSandboxTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sources_sandbox.moc"
