// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QTimer>

#include <functional>

// Breeze icons and a desktop-sized font. The forms are laid out for a
// desktop font; with the offscreen default (12 pt) the conflict area alone
// needs more than 346 pixels, and the layout widens the dialog to that.
inline void setUpDesktopLook()
{
    QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("breeze"));
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
}

// Runs exec() on the dialog and, once it is the active modal window, does
// what a user would do to end it. A dialog still open five seconds later is
// ended with -1, so that an answer that does not close it fails the test
// instead of hanging it.
inline int execAnswering(QDialog *dialog, const std::function<void(QDialog *)> &answer)
{
    auto *poll = new QTimer(dialog);
    int waited = 0;
    bool answered = false;
    QObject::connect(poll, &QTimer::timeout, dialog, [=]() mutable {
        waited += 10;
        if (!answered && QApplication::activeModalWidget() == dialog && dialog->isVisible()) {
            answered = true;
            answer(dialog);
        } else if (waited > 5000 && dialog->isVisible()) {
            poll->stop();
            dialog->done(-1);
        }
    });
    poll->start(10);
    const int result = dialog->exec();
    delete poll;
    return result;
}
