// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

// Answers the window's own dialogs (not its message boxes, which
// BoxAnswerer handles) each time one runs modally, in the order given with
// expect(). An opening with no answer left is rejected and counted; an
// answer that leaves its dialog open for five seconds ends it with -1, so a
// wrong answer fails the test instead of hanging it.
class DialogAnswerer
{
public:
    using Answer = std::function<void(QDialog *)>;

    DialogAnswerer()
        : hideWatcher(this)
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            poll();
        });
        timer.start(20);
    }

    void expect(Answer answer)
    {
        answers.append(std::move(answer));
    }

    int opened = 0;
    int unexpected = 0;
    QList<QDialog *> dialogs; // each opening's dialog

private:
    // A reused dialog opens again as the same object: its hiding ends the
    // opening that was answered.
    class HideWatcher : public QObject
    {
    public:
        explicit HideWatcher(DialogAnswerer *answerer)
            : owner(answerer)
        {
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Hide && watched == owner->current) {
                watched->removeEventFilter(this);
                owner->current = nullptr;
            }
            return false;
        }
        DialogAnswerer *owner;
    };

    void poll()
    {
        if (current && current->isVisible()) {
            if (sinceAnswer.elapsed() > 5000) {
                current->done(-1);
            }
            return;
        }
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || qobject_cast<QMessageBox *>(dialog) || !dialog->isVisible()) {
            return;
        }
        current = dialog;
        dialog->installEventFilter(&hideWatcher);
        sinceAnswer.start();
        ++opened;
        dialogs.append(dialog);
        if (answers.isEmpty()) {
            ++unexpected;
            dialog->reject();
            return;
        }
        answers.takeFirst()(dialog);
    }

    QList<Answer> answers;
    QPointer<QDialog> current;
    QElapsedTimer sinceAnswer;
    HideWatcher hideWatcher;
    QTimer timer;
};
