// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

inline void clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

// Answers each modal window (message box or dialog) opening while it lives,
// in the order given; one with no answer left is rejected. Each is recorded
// in `seen`. One an answer leaves open is ended after ten seconds.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QDialog *)>;

    ModalAnswerer()
    {
        qApp->installEventFilter(this);
    }

    void expect(Answer answer)
    {
        answers.append(std::move(answer));
    }

    // The next message box: `whileOpen` runs first; NoButton presses Escape.
    void press(QMessageBox::StandardButton button, const std::function<void()> &whileOpen = {})
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

    QStringList seen; // a box's text, or a dialog's class name

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
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

private:
    QList<Answer> answers;
};

// The offscreen platform, settings of the process's own, Breeze icons.
#define ZEL_WIDGET_TEST_MAIN(TestObject)                                                                                                                       \
    int main(int argc, char **argv)                                                                                                                            \
    {                                                                                                                                                          \
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));                                           \
        QTemporaryDir configHome;                                                                                                                              \
        qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());                                                                                           \
        QStandardPaths::setTestModeEnabled(true);                                                                                                              \
        QApplication app(argc, argv);                                                                                                                          \
        QCoreApplication::setOrganizationName(QStringLiteral("zel-admin-time-tests"));                                                                         \
        QCoreApplication::setApplicationName(QStringLiteral(#TestObject));                                                                                     \
        QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});                                                                                      \
        QIcon::setThemeName(QStringLiteral("breeze"));                                                                                                         \
        clearSettings();                                                                                                                                       \
        TestObject test;                                                                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                                                                                \
    }
