// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The chrony page inside the sandbox machine: its Sources table follows the
// running chronyd, and the Test action asks servers without setting the clock
// (the sandbox cannot set it anyway).

#include "directivepage.h"
#include "sourcesmodel.h"
#include "sourcesmonitor.h"
#include "sourcesview.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>

class SourcesSandboxTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chronySources();
    void testAction_data();
    void testAction();

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

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SourcesSandboxTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sources_sandbox.moc"
