// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>

// Embedded in a host, the window never gets a close event of its own: the
// host's window closes and deletes the module. kcmshell5 hosts it in a
// dialog that closes without a word about changes, so the window asks there
// itself, on each way the dialog closes: the close event (title bar,
// Alt+F4, session end), Escape and the button box's Close/Cancel, the last
// two through reject() with no event of their own. System Settings hosts
// modules in its main window and asks about the changes it was told of;
// a second question there would be one too many, so only a dialog host is
// watched.
//
// While a box or dialog of the window is open, every close request is
// refused: a script's click on the host's hidden Cancel button or a session
// end would otherwise ask a second time, or let the host delete the window
// under a message box that lives on the stack of the open question.

void MainWindow::showEvent(QShowEvent *event)
{
    // Shown, the window sits in its final host.
    watchHostWindow();
    QMainWindow::showEvent(event);
}

void MainWindow::watchHostWindow()
{
    auto *dialog = qobject_cast<QDialog *>(window());
    if (dialog == hostWindow) {
        return;
    }
    if (hostWindow) {
        hostWindow->removeEventFilter(this);
    }
    for (const QMetaObject::Connection &connection : std::as_const(hostConnections)) {
        disconnect(connection);
    }
    hostConnections.clear();
    hostWindow = dialog;
    if (!dialog) {
        return;
    }
    dialog->installEventFilter(this);
    for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
        if (isAncestorOf(box)) {
            continue; // the window's own dialogs
        }
        hostConnections.append(connect(box, &QDialogButtonBox::clicked, this, [this, box](QAbstractButton *button) {
            const QDialogButtonBox::ButtonRole role = box->buttonRole(button);
            if (role != QDialogButtonBox::RejectRole && role != QDialogButtonBox::NoRole) {
                return;
            }
            const QPointer<QDialogButtonBox> guard(box);
            if (!hasOpenModal() && (mayCloseHost() || !guard)) {
                return;
            }
            // The box sends rejected() right after clicked(): swallow it.
            box->blockSignals(true);
            QTimer::singleShot(0, box, [box] {
                box->blockSignals(false);
            });
        }));
    }
}

bool MainWindow::hasOpenModal() const
{
    // A message box lives until its exec() returns, also after a session end
    // closed it: its answer is still awaited on the stack.
    if (findChild<QMessageBox *>()) {
        return true;
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [this](const QWidget *widget) {
        if (!widget->isVisible() || !widget->isModal()) {
            return false;
        }
        for (const QObject *parent = widget->parent(); parent; parent = parent->parent()) {
            if (parent == this) {
                return true;
            }
        }
        return false;
    });
}

bool MainWindow::mayCloseHost()
{
    return hostCloseAnswered || resolveChangesBeforeClose();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The key as QDialog reads it, once no child took it.
    const bool closes = event->type() == QEvent::Close || (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel));
    if (!closes || watched != hostWindow || !hostWindow->isVisible()) {
        return QMainWindow::eventFilter(watched, event);
    }
    // The host may have deleted the window meanwhile: nothing of it after.
    if (!hasOpenModal() && mayCloseHost()) {
        return false;
    }
    event->ignore();
    return true;
}
