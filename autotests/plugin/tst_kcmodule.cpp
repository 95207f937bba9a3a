// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The built plug-in as the KDE host loads it, with the real library: what the
// host relies on is independent modules, save() and changed(bool).

#include "logiccontroller.h"
#include "widgettest.h"

#include <KCModule>
#include <KPluginFactory>

#include <QMainWindow>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>

#include <memory>

namespace
{
KCModule *createModule(QWidget *parent)
{
    auto *factory = qobject_cast<KPluginFactory *>(QPluginLoader(QStringLiteral(ZEL_PLUGIN_FILE)).instance());
    return factory ? factory->create<KCModule>(parent) : nullptr;
}

QMainWindow *windowOf(QObject *module)
{
    return module->findChild<QMainWindow *>();
}
}

class KCModuleTest : public QObject
{
    Q_OBJECT

    // Whatever the library reports at start (systemd not answering, say) is acknowledged.
    ModalAnswerer modals;

private Q_SLOTS:
    void twoIndependentModules()
    {
        QWidget host;
        std::unique_ptr<KCModule> one(createModule(&host));
        std::unique_ptr<KCModule> two(createModule(&host));
        QVERIFY(one && two);
        QMainWindow *window = windowOf(one.get());
        QVERIFY(window && windowOf(two.get()) && window != windowOf(two.get()));
        QVERIFY(window->isVisibleTo(one.get()));
        QPointer<LogicController> controller = window->findChild<LogicController *>();
        QVERIFY(controller && controller != windowOf(two.get())->findChild<LogicController *>());
        // Deleting one module leaves the other whole.
        one.reset();
        QVERIFY(controller.isNull());
        QVERIFY(windowOf(two.get())->findChild<LogicController *>());
    }

    void saveAndChangedReachTheHost()
    {
        std::unique_ptr<KCModule> module(createModule(nullptr));
        QVERIFY(module);
        QSignalSpy changed(module.get(), qOverload<bool>(&KCModule::changed));
        QMainWindow *window = windowOf(module.get());
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, true)));
        QVERIFY(QMetaObject::invokeMethod(window, "changed", Q_ARG(bool, false)));
        QCOMPARE(QList<QVariantList>(changed), QList<QVariantList>({{true}, {false}}));
        // save() applies even with nothing changed; the library answers one
        // way or the other before applyConfig() returns.
        auto *controller = window->findChild<LogicController *>();
        QSignalSpy written(controller, &LogicController::confWrited);
        QSignalSpy failed(controller, &LogicController::confWriteError);
        module->save();
        QCOMPARE(written.size() + failed.size(), 1);
    }
};

ZEL_WIDGET_TEST_MAIN(KCModuleTest)

#include "tst_kcmodule.moc"
