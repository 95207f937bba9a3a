// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The built plug-in as the KDE host loads it, against the real library inside
// the sandbox machine (systemd-timesyncd and chrony installed, stopped and
// disabled, a loopback NTP server, a recording synaptic-pkexec): what the
// host relies on, then one scenario per flow of its window.

#include "logiccontroller.h"
#include "mainwindow.h"
#include "testhelpers.h"
#include "widgettest.h"

#include <KCModule>
#include <KPluginFactory>

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

#include <memory>

namespace
{
QString systemctl(const char *verb)
{
    QProcess process;
    // The test moved its own settings elsewhere; systemctl wants the sandbox's.
    const QString config = QLatin1String("XDG_CONFIG_HOME=") + qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/config");
    process.start(QStringLiteral("env"),
                  {config, QStringLiteral("systemctl"), QStringLiteral("--user"), QLatin1String(verb), QStringLiteral("chrony.service")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The host's view: KF5's module is its own widget and says changed(bool);
// KF6's hands out widget() and says needsSave.
#if QT_VERSION_MAJOR >= 6
QWidget *hostWidget(KCModule *module)
{
    return module->widget();
}
void recordChanges(KCModule *module, QList<bool> *states)
{
    QObject::connect(module, &KCModule::needsSaveChanged, module, [=] {
        states->append(module->needsSave());
    });
}
#else
QWidget *hostWidget(KCModule *module)
{
    return module;
}
void recordChanges(KCModule *module, QList<bool> *states)
{
    QObject::connect(module, qOverload<bool>(&KCModule::changed), module, [=](bool state) {
        states->append(state);
    });
}
#endif
}

class KCModuleTest : public QObject
{
    Q_OBJECT

    KPluginFactory *factory = nullptr;
    std::unique_ptr<KCModule> module;
    QMainWindow *window = nullptr;
    ModalAnswerer modals;

    void trigger(const char *action)
    {
        window->findChild<QAction *>(QLatin1String(action))->trigger();
    }
    // Selects chrony's row, wherever a rebuild put it, and tells a role of it.
    int chrony(int role = MainWindow::ServiceStateRole) const
    {
        auto *view = window->findChild<QListView *>();
        view->setCurrentIndex(view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("chrony"), 1, Qt::MatchExactly).value(0));
        return view->currentIndex().data(role).toInt();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ZEL_SANDBOX"), "run inside the sandbox machine (sandbox/run.sh)");
        factory = qobject_cast<KPluginFactory *>(QPluginLoader(QStringLiteral(ZEL_PLUGIN_FILE)).instance());
        QVERIFY(factory);
        module.reset(factory->create<KCModule>(nullptr));
        window = hostWidget(module.get())->findChild<QMainWindow *>();
        QVERIFY(window);
        QVERIFY(window->isVisibleTo(hostWidget(module.get())));
        hostWidget(module.get())->show();
    }

    void cleanup()
    {
        module.reset();
    }

    // Independent modules, changed(bool) passed on, save() applying even
    // with nothing changed; the library answers before applyConfig() returns.
    void hostContract()
    {
        std::unique_ptr<KCModule> other(factory->create<KCModule>(nullptr));
        QPointer<LogicController> controller = window->findChild<LogicController *>();
        QVERIFY(controller);
        QVERIFY(controller != hostWidget(other.get())->findChild<LogicController *>());
        QList<bool> changed;
        recordChanges(module.get(), &changed);
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, false)));
        QCOMPARE(changed, QList<bool>({true, false}));
        QSignalSpy written(controller, &LogicController::confWrited);
        QSignalSpy failed(controller, &LogicController::confWriteError);
        module->save();
        QCOMPARE(written.size() + failed.size(), 1);
        module.reset(); // the other module stays whole
        QVERIFY(controller.isNull());
        QVERIFY(hostWidget(other.get())->findChild<LogicController *>());
    }

    // A screen reader counts a page's children, then asks for each; a bar
    // that hid meanwhile leaves its count stale. Qt's contract for child():
    // nothing, not a crash, for an index that is not a child's.
    void staleChildIndex()
    {
        chrony();
        QScrollArea *area = nullptr;
        for (QScrollArea *candidate : window->findChildren<QScrollArea *>()) {
            if (candidate->isVisible() && candidate->accessibleName() == QLatin1String("Settings of chrony")) {
                area = candidate;
            }
        }
        QVERIFY(area);
        QWidget *host = hostWidget(module.get());
        host->resize(900, 250);
        QTRY_VERIFY(area->verticalScrollBar()->isVisible());
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(area);
        QVERIFY(reader);
        const int counted = reader->childCount();
        QVERIFY(counted >= 2);
        host->resize(900, 5000);
        QTRY_VERIFY(!area->verticalScrollBar()->isVisible());
        QVERIFY(reader->childCount() < counted);
        // Past the end by one and by more: a stale slot may hold anything.
        for (int index = reader->childCount(); index < counted + 64; ++index) {
            QCOMPARE(reader->child(index), nullptr);
        }
        QCOMPARE(reader->child(0)->object(), area->viewport());
        QCOMPARE(reader->indexOfChild(reader->child(0)), 0);
    }

    void startStopAndBoot()
    {
        QCOMPARE(chrony(), int(ServiceNotActive));
        trigger("startStopServiceAction");
        QCOMPARE(systemctl("is-active"), QStringLiteral("active"));
        QVERIFY(chrony() >= ServiceNotSynchronized);
        trigger("startStopServiceAction");
        QCOMPARE(systemctl("is-active"), QStringLiteral("inactive"));
        QCOMPARE(chrony(), int(ServiceNotActive));
        trigger("enDisServiceAction");
        QCOMPARE(systemctl("is-enabled"), QStringLiteral("enabled"));
        QCOMPARE(chrony(MainWindow::ServiceEnablingRole), 1);
        QCOMPARE(modals.seen, QStringList());
    }

    void installAndRemove()
    {
        bool offered = false; // ntpsec, not the installed chrony
        modals.expect([&](QDialog *d) {
            auto *combo = d->findChild<QComboBox *>();
            offered = combo->findText(QStringLiteral("ntpsec")) >= 0 && combo->findText(QStringLiteral("chrony")) < 0;
            combo->setCurrentText(QStringLiteral("ntpsec"));
            d->accept();
        });
        modals.press(QMessageBox::Yes);
        trigger("addNewServiceAction");
        QVERIFY(offered);
        chrony();
        modals.press(QMessageBox::Yes);
        trigger("deleteServiceAction");
        const QString text = QString::fromUtf8(TestHelpers::readFile(qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/synaptic.log")));
        QVERIFY2(text.contains(QLatin1String("selection: ntpsec install")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("selection: chrony deinstall")), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("--parent-window-id ") + QString::number(window->winId())));
    }

    void syncNow()
    {
        modals.expect([](QDialog *d) {
            d->findChild<QLineEdit *>()->clear();
            QTest::keyClicks(d->findChild<QLineEdit *>(), QStringLiteral("127.0.0.1"));
            d->findChild<QPushButton *>(QStringLiteral("syncButton"))->click();
        });
        trigger("syncNowAction");
        auto *status = window->findChild<QLabel *>(QStringLiteral("statusTextLabel"));
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Time synced successfully"), 60000);
    }
};

ZEL_WIDGET_TEST_MAIN(KCModuleTest)

#include "tst_kcmodule.moc"
