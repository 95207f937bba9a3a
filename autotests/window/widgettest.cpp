// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "widgettest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

void prepareWidgetTestProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Never the user's settings: a folder that lives as long as the process.
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
}

void prepareWidgetTestApplication(const QString &applicationName)
{
    QCoreApplication::setOrganizationName(QStringLiteral("zel-admin-time-tests"));
    QCoreApplication::setApplicationName(applicationName);
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    clearSettings();
}

void clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

BoxAnswerer::BoxAnswerer(QWidget *expectedParent)
    : parentWindow(expectedParent)
{
    connect(&timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer.start(20);
}

void BoxAnswerer::expect(QMessageBox::StandardButton button, std::function<void()> whileOpen)
{
    answers.append({button, false, std::move(whileOpen)});
}

void BoxAnswerer::expectEscape(std::function<void()> whileOpen)
{
    answers.append({QMessageBox::NoButton, true, std::move(whileOpen)});
}

void BoxAnswerer::poll()
{
    // A box opened by a hook runs its own loop inside this call.
    if (busy) {
        return;
    }
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("zelAnswered").toBool()) {
        return;
    }
    busy = true;
    box->setProperty("zelAnswered", true);
    SeenBox entry;
    entry.title = box->windowTitle();
    entry.text = box->text();
    entry.buttons = box->standardButtons();
    entry.icon = box->icon();
    entry.parentedToWindow = parentWindow && box->parentWidget() == parentWindow;
    seen.append(entry);

    if (answers.isEmpty()) {
        box->reject();
        busy = false;
        return;
    }
    const Answer answer = answers.takeFirst();
    if (answer.whileOpen) {
        answer.whileOpen();
    }
    if (answer.escape) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &escape);
    } else if (QAbstractButton *button = box->button(answer.button)) {
        button->click();
    } else {
        box->reject();
    }
    busy = false;
}
