// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Loads the built plug-in the way the KDE host does and checks what the host
// relies on: the metadata record, one factory per process, independent
// modules, the Help button, save() and changed(bool).

#include "logiccontroller.h"
#include "widgettest.h"

#include <KCModule>
#include <KPluginFactory>

#include <QApplication>
#include <QCborMap>
#include <QCborValue>
#include <QFile>
#include <QJsonObject>
#include <QLayout>
#include <QLibrary>
#include <QMainWindow>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

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

    void metadataRecord()
    {
        QPluginLoader loader(pluginFile);
        const QJsonObject metaData = loader.metaData();
        QCOMPARE(metaData.value(QStringLiteral("IID")).toString(), QStringLiteral("org.kde.KPluginFactory"));
        QCOMPARE(metaData.value(QStringLiteral("className")).toString(), QStringLiteral("KCModuleWidgetFactory"));
        QVERIFY(!metaData.contains(QStringLiteral("MetaData")));

        // The raw record: magic, format 0, Qt 5.15, no requirements, then a
        // CBOR map of exactly the interface (key 2) and the class (key 3).
        QFile file(pluginFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QByteArray magic("QTMETADATA !");
        const int at = bytes.indexOf(magic);
        QVERIFY(at >= 0);
        QCOMPARE(bytes.indexOf(magic, at + 1), -1);
        // A debug build sets the one requirement flag Qt knows for x86-64.
#ifdef QT_NO_DEBUG
        const QByteArray expectedHeader = QByteArray::fromHex("00050f00");
#else
        const QByteArray expectedHeader = QByteArray::fromHex("00050f01");
#endif
        QCOMPARE(bytes.mid(at + magic.size(), 4), expectedHeader);
        const QCborMap map = QCborValue::fromCbor(bytes.mid(at + magic.size() + 4, 512)).toMap();
        QCOMPARE(map.size(), 2);
        QCOMPARE(map.value(2).toString(), QStringLiteral("org.kde.KPluginFactory"));
        QCOMPARE(map.value(3).toString(), QStringLiteral("KCModuleWidgetFactory"));
    }

    void oneFactoryPerProcess()
    {
        KPluginFactory *first = factory();
        QVERIFY(first);
        QCOMPARE(first->metaObject()->className(), "KCModuleWidgetFactory");
        QVERIFY(first->qt_metacast("org.kde.KPluginFactory"));
        QVERIFY(first->qt_metacast("KCModuleWidgetFactory"));
        QCOMPARE(factory(), first);

        // The entry point itself, as a loader that bypasses QPluginLoader sees it.
        QLibrary library(pluginFile);
        QVERIFY(library.load());
        using InstanceFunction = QObject *(*)();
        auto instance = reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
        QVERIFY(instance);
        QCOMPARE(instance(), static_cast<QObject *>(first));

        // A deleted factory is replaced by a new one.
        QPointer<QObject> old = first;
        delete first;
        QVERIFY(old.isNull());
        QObject *second = instance();
        QVERIFY(second);
        QVERIFY(qobject_cast<KPluginFactory *>(second));
        QCOMPARE(instance(), second);
        QCOMPARE(static_cast<QObject *>(factory()), second);
    }

    void twoIndependentModules()
    {
        KPluginFactory *f = factory();
        QVERIFY(f);
        QWidget host;
        std::unique_ptr<KCModule> one(f->create<KCModule>(&host));
        std::unique_ptr<KCModule> two(f->create<KCModule>(&host));
        QVERIFY(one && two);
        QCOMPARE(one->metaObject()->className(), "KCModuleWidget");
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

        // The window is the one item of a vertical layout.
        auto *layout = qobject_cast<QVBoxLayout *>(one->layout());
        QVERIFY(layout);
        QCOMPARE(layout->count(), 1);
        QCOMPARE(layout->itemAt(0)->widget(), windowOne);

        // Deleting one module leaves the other whole.
        QPointer<QMainWindow> goneWindow = windowOne;
        QPointer<LogicController> goneController = controllerOf(one.get());
        one.reset();
        QVERIFY(goneWindow.isNull());
        QVERIFY(goneController.isNull());
        QVERIFY(controllerOf(two.get()));
    }

    void nonWidgetParent()
    {
        KPluginFactory *f = factory();
        QObject holder;
        std::unique_ptr<KCModule> module(f->create<KCModule>(&holder));
        QVERIFY(module);
        QCOMPARE(module->parentWidget(), nullptr);
        QCOMPARE(module->parent(), nullptr);
        QVERIFY(mainWindowOf(module.get()));
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
