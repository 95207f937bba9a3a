// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "widgettest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

void clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

ModalAnswerer::ModalAnswerer()
{
    qApp->installEventFilter(this);
}

void ModalAnswerer::press(QMessageBox::StandardButton button, const std::function<void()> &whileOpen)
{
    expect([button, whileOpen](QDialog *dialog) {
        if (whileOpen) {
            whileOpen();
        }
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box && box->button(button)) {
            box->button(button)->click();
        } else {
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
}

bool ModalAnswerer::eventFilter(QObject *watched, QEvent *event)
{
    auto *dialog = qobject_cast<QDialog *>(watched);
    // exec() shows the window modal before its loop runs: the answer
    // comes from inside that loop.
    if (event->type() != QEvent::Show || !dialog || !dialog->isModal()) {
        return false;
    }
    auto *box = qobject_cast<QMessageBox *>(dialog);
    seen << (box ? box->text() : QString::fromLatin1(dialog->metaObject()->className()));
    const Answer answer = answers.isEmpty() ? Answer(&QDialog::reject) : answers.takeFirst();
    QTimer::singleShot(0, dialog, [dialog, answer] {
        const QPointer<QDialog> alive(dialog);
        answer(dialog);
        if (alive && dialog->isVisible()) {
            QTimer::singleShot(10000, dialog, [dialog] {
                dialog->done(-1);
            });
        }
    });
    return false;
}

int runWidgetTest(int &argc, char **argv, const char *name, const std::function<int()> &run)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("zel-admin-time-tests"));
    QCoreApplication::setApplicationName(QLatin1String(name));
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    clearSettings();
    return run();
}
