// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Preloaded into kcmshell5 (LD_PRELOAD): once the application runs, writes
// every text its widgets and actions show to the file named by
// ZEL_TEXT_PROBE_OUT, so a test can read what the real host displays.
//
// One record a line, tab-separated:
//   kind  name  property  value  visible  inModule
// kind W (widget), A (action) or Q (a text of Qt's own); name the object name, or the class name
// when there is none; value with \\, \t and \n escaped; inModule 1 for
// objects inside the control module's widget.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QSaveFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace
{

void record(QByteArray &out, char kind, const QObject *object, const char *property, const QString &value, bool visible)
{
    if (value.isEmpty()) {
        return;
    }
    bool inModule = false;
    for (const QObject *o = object; o; o = o->parent()) {
        inModule = inModule || o->inherits("KCModule");
    }
    const QString name = object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className()) : object->objectName();
    QByteArray text = value.toUtf8();
    text.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n");
    out += kind + ('\t' + name.toUtf8() + '\t' + property + '\t' + text) + (visible ? "\t1" : "\t0") + (inModule ? "\t1\n" : "\t0\n");
}

void dump(const QString &path)
{
    QByteArray out;
    const auto widgets = QApplication::allWidgets();
    for (const QWidget *w : widgets) {
        const bool visible = w->isVisible();
        if (w->isWindow() || w->inherits("QMainWindow")) {
            record(out, 'W', w, "windowTitle", w->windowTitle(), visible);
        }
        const bool titled = w->inherits("QGroupBox") || w->inherits("QMenu");
        if (titled || w->inherits("QLabel") || w->inherits("QAbstractButton")) {
            record(out, 'W', w, titled ? "title" : "text", w->property(titled ? "title" : "text").toString(), visible);
        }
        record(out, 'W', w, "toolTip", w->toolTip(), visible);
    }
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *top : windows) {
        const auto actions = top->findChildren<QAction *>();
        for (const QAction *a : actions) {
            // Shown when it sits in a visible menu bar, menu or tool bar.
            const auto holders = a->associatedWidgets();
            const bool shown = std::any_of(holders.cbegin(), holders.cend(), [](const QWidget *h) {
                return h->isVisible();
            });
            // A menu's own action goes by the menu's name.
            const QObject *named = a->menu() ? static_cast<const QObject *>(a->menu()) : a;
            record(out, 'A', named, "text", a->text(), shown && a->isVisible());
            record(out, 'A', named, "toolTip", a->toolTip(), shown && a->isVisible());
        }
    }
    // Qt's own button texts (message boxes, button boxes), as the module gets them.
    for (const char *button : {"Cancel", "&Yes", "&No"}) {
        out += QByteArray("Q\tQPlatformTheme\t") + button + '\t' + QCoreApplication::translate("QPlatformTheme", button).toUtf8() + "\t1\t1\n";
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(out);
        file.commit();
    }
}

void startProbe()
{
    const QString path = qEnvironmentVariable("ZEL_TEXT_PROBE_OUT");
    if (path.isEmpty() || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return;
    }
    const int delay = qEnvironmentVariableIsSet("ZEL_TEXT_PROBE_DELAY_MS") ? qEnvironmentVariableIntValue("ZEL_TEXT_PROBE_DELAY_MS") : 4000;
    // Once a second from then on: the last dump is the state the screenshot shows.
    auto timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
        timer->setInterval(1000);
        dump(path);
    });
    timer->start(delay);
}

}

Q_COREAPP_STARTUP_FUNCTION(startProbe)
