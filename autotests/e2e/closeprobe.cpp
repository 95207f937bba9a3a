// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Preloaded into kcmshell5 (LD_PRELOAD): adds a server on the shown settings
// page, closes the host's window as ZEL_CLOSE_PROBE_HOW says (title: its
// close event, escape, button: the dialog's Close button) and answers each
// question with ZEL_CLOSE_PROBE_ANSWER (yes, no, cancel). What it did and
// saw goes, a line each, to ZEL_CLOSE_PROBE_OUT. A window kept open after
// the answer is marked in ZEL_CLOSE_PROBE_MARK, for the session to end.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSessionManager>
#include <QStackedWidget>
#include <QTimer>

namespace
{

void note(const QString &line)
{
    QFile file(qEnvironmentVariable("ZEL_CLOSE_PROBE_OUT"));
    if (file.open(QIODevice::Append)) {
        file.write(line.toUtf8() + '\n');
    }
}

// Runs once the module shows its first page, however long the host takes.
bool run()
{
    QStackedWidget *stack = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        stack = stack ? stack : top->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    }
    // Without systemd (the Debian 13 root) the window warns first.
    if (auto *warning = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()); warning) {
        note(QStringLiteral("warned\t") + warning->text().simplified());
        warning->accept();
    }
    QWidget *page = stack ? stack->currentWidget() : nullptr;
    auto *edit = page && page->isVisible() ? page->findChild<QLineEdit *>(QStringLiteral("newServerEdit")) : nullptr;
    auto *add = edit ? edit->parentWidget()->findChild<QAbstractButton *>(QStringLiteral("addServerBtn")) : nullptr;
    if (!add) {
        return false;
    }
    const QString answer = qEnvironmentVariable("ZEL_CLOSE_PROBE_ANSWER");
    edit->setText(QStringLiteral("e2e-%1-%2.example.org").arg(answer, qEnvironmentVariable("ZEL_CLOSE_PROBE_HOW").replace(QLatin1Char('+'), QLatin1Char('-'))));
    add->click();
    QWidget *window = stack->window(); // the host's
    note(QStringLiteral("changed\t") + (window->findChild<QAction *>(QStringLiteral("saveAction"))->isEnabled() ? QLatin1String("1") : QLatin1String("0")));

    auto *poll = new QTimer(qApp);
    const QMessageBox::StandardButton button = answer == QLatin1String("yes") ? QMessageBox::Yes
        : answer == QLatin1String("no")                                       ? QMessageBox::No
                                                                              : QMessageBox::Cancel;
    // A second close request while the question is open: "+again" clicks
    // the host's hidden Cancel button, as a script does; "+session" does
    // what Qt does at a session end (commitDataRequest, then every window's
    // close, which answers the question with Cancel).
    QString how = qEnvironmentVariable("ZEL_CLOSE_PROBE_HOW");
    const QString again = how.section(QLatin1Char('+'), 1);
    how = how.section(QLatin1Char('+'), 0, 0);
    const QPointer<QWidget> host(window);
    QObject::connect(poll, &QTimer::timeout, poll, [button, again, host] {
        // The window's question, or a host's own (System Settings: a dialog with a button box).
        auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *buttons = box ? box->findChild<QDialogButtonBox *>() : nullptr;
        auto *message = qobject_cast<QMessageBox *>(box);
        if (!box || !(message || buttons) || !box->isVisible() || box->property("zelAnswered").toBool()) {
            return;
        }
        if (!box->property("zelSeen").toBool()) {
            box->setProperty("zelSeen", true);
            note(QStringLiteral("asked\t") + box->windowTitle());
        }
        if (!again.isEmpty() && host && !host->property("zelAgain").toBool()) {
            host->setProperty("zelAgain", true);
            note(again);
            // From a timer of its own: a question it opens is answered here.
            QTimer::singleShot(0, host, [host, again] {
                for (QDialogButtonBox *buttons : host->findChildren<QDialogButtonBox *>()) {
                    QPushButton *cancel = buttons->button(QDialogButtonBox::Cancel);
                    if (again == QLatin1String("again") && buttons->isVisible() && cancel && !cancel->isVisible()) {
                        cancel->click();
                    }
                }
                if (auto *manager = qApp->findChild<QSessionManager *>(); again == QLatin1String("session") && manager) {
                    Q_EMIT qApp->commitDataRequest(*manager);
                    // As Qt goes on: the open box first, then each window.
                    QApplication::activeModalWidget()->close();
                    for (QWidget *top : QApplication::topLevelWidgets()) {
                        top->isVisible() && top->close();
                    }
                }
            });
            return;
        }
        box->setProperty("zelAnswered", true);
        (message ? message->button(button) : buttons->button(QDialogButtonBox::StandardButton(int(button))))->click();
    });
    poll->start(50);

    if (how == QLatin1String("escape")) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : window, &escape);
    } else if (how == QLatin1String("button")) {
        for (QDialogButtonBox *box : window->findChildren<QDialogButtonBox *>()) {
            if (QPushButton *close = box->button(QDialogButtonBox::Close); close && close->isVisible()) {
                close->click();
                break;
            }
        }
    } else {
        window->close();
    }
    note(QStringLiteral("closed\t") + how);
    // Still shown after the answer was handled: the session may end.
    QTimer::singleShot(1000, window, [window] {
        QFile mark(qEnvironmentVariable("ZEL_CLOSE_PROBE_MARK"));
        if (window->isVisible() && mark.open(QIODevice::WriteOnly)) {
            mark.write("kept\n");
        }
    });
    return true;
}

void startProbe()
{
    if (!qEnvironmentVariableIsEmpty("ZEL_CLOSE_PROBE_OUT") && qobject_cast<QApplication *>(QCoreApplication::instance())) {
        auto *wait = new QTimer(qApp);
        QObject::connect(wait, &QTimer::timeout, wait, [wait] {
            if (run()) {
                wait->stop();
            }
        });
        wait->start(200);
    }
}

}

Q_COREAPP_STARTUP_FUNCTION(startProbe)
