// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Loads the built plug-in the way the KDE host does and checks what the host
// relies on: independent modules, the Help button, save() and changed(bool).

#include "logiccontroller.h"
#include "widgettest.h"

#include <KCModule>
#include <KPluginFactory>

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace
{
const QString pluginFile = QStringLiteral(ZEL_PLUGIN_FILE);

QMainWindow *mainWindowOf(QObject *module)
{
    for (QMainWindow *window : module->findChildren<QMainWindow *>()) {
        if (qstrcmp(window->metaObject()->className(), "MainWindow") == 0) {
            return window;
        }
    }
    return nullptr;
}

LogicController *controllerOf(QObject *module)
{
    QMainWindow *window = mainWindowOf(module);
    return window ? window->findChild<LogicController *>() : nullptr;
}
}

class PluginTest : public QObject
{
    Q_OBJECT

    // Whatever the real library reports at start (for example that systemd
    // does not answer) is acknowledged.
    BoxAnswerer boxes;

    KPluginFactory *factory()
    {
        QPluginLoader loader(pluginFile);
        auto *result = qobject_cast<KPluginFactory *>(loader.instance());
        if (!result) {
            qWarning() << loader.errorString();
        }
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(pluginFile), qPrintable(pluginFile));
    }

    void twoIndependentModules()
    {
        KPluginFactory *f = factory();
        QVERIFY(f);
        QWidget host;
        std::unique_ptr<KCModule> one(f->create<KCModule>(&host));
        std::unique_ptr<KCModule> two(f->create<KCModule>(&host));
        QVERIFY(one && two);
        QCOMPARE(one->parentWidget(), &host);
        QCOMPARE(one->buttons(), KCModule::Buttons(KCModule::Help));

        QMainWindow *windowOne = mainWindowOf(one.get());
        QMainWindow *windowTwo = mainWindowOf(two.get());
        QVERIFY(windowOne && windowTwo);
        QVERIFY(windowOne != windowTwo);
        QCOMPARE(windowOne->parentWidget(), one.get());
        QVERIFY(windowOne->isVisibleTo(one.get()));
        QVERIFY(controllerOf(one.get()) && controllerOf(two.get()));
        QVERIFY(controllerOf(one.get()) != controllerOf(two.get()));

        // Deleting one module leaves the other whole.
        QPointer<QMainWindow> goneWindow = windowOne;
        QPointer<LogicController> goneController = controllerOf(one.get());
        one.reset();
        QVERIFY(goneWindow.isNull());
        QVERIFY(goneController.isNull());
        QVERIFY(controllerOf(two.get()));
    }

    void saveAndChangedReachTheHost()
    {
        KPluginFactory *f = factory();
        std::unique_ptr<KCModule> module(f->create<KCModule>(nullptr));
        QVERIFY(module);
        QSignalSpy changed(module.get(), qOverload<bool>(&KCModule::changed));
        QMainWindow *window = mainWindowOf(module.get());
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, false)));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed[0][0].toBool(), true);
        QCOMPARE(changed[1][0].toBool(), false);

        // save() applies even with nothing changed; the library answers
        // one way or the other before applyConfig() returns.
        LogicController *controller = controllerOf(module.get());
        QSignalSpy written(controller, &LogicController::confWrited);
        QSignalSpy failed(controller, &LogicController::confWriteError);
        module->save();
        QCOMPARE(written.size() + failed.size(), 1);
    }
};

ZEL_WIDGET_TEST_MAIN(PluginTest)

#include "tst_plugin.moc"
