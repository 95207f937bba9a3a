// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Shared set-up of the widget tests: offscreen platform, Breeze icons,
// settings in a temporary folder under a test organisation, and answers to
// the message boxes a test opens.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

// Before QApplication exists: platform and a private settings folder.
void prepareWidgetTestProcess();
// After: names, icon theme. Also clears the settings store.
void prepareWidgetTestApplication(const QString &applicationName);
void clearSettings();

// Pixels of an icon as the status bar draws it, for comparisons.
QImage iconImage(const QIcon &icon);

// One message box as it was seen.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool parentedToWindow = false;
    bool operator==(const SeenBox &other) const
    {
        return title == other.title && text == other.text && buttons == other.buttons && icon == other.icon && parentedToWindow == other.parentedToWindow;
    }
};

// A box expected parented to the window: compare with QCOMPARE(seen[i], box(...)).
inline SeenBox box(const QString &title, const QString &text, QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)
{
    return {title, text, buttons, icon, true};
}

inline char *toString(const SeenBox &b)
{
    return QTest::toString(
        QStringLiteral("[%1 | %2 | buttons %3 | icon %4 | parented %5]").arg(b.title, b.text).arg(int(b.buttons)).arg(int(b.icon)).arg(b.parentedToWindow));
}

// Answers the message boxes that open while it lives, in the order given
// with expect(). A box that opens with no answer left is rejected (as if
// closed) and recorded too, so that a test can fail on it.
class BoxAnswerer : public QObject
{
    Q_OBJECT
public:
    explicit BoxAnswerer(QWidget *expectedParent = nullptr);

    // Press `button`; `whileOpen` runs first, with the box still open.
    void expect(QMessageBox::StandardButton button, std::function<void()> whileOpen = {});
    // Close the box the way the Escape key does.
    void expectEscape(std::function<void()> whileOpen = {});

    QList<SeenBox> seen;
    int pending() const
    {
        return answers.size();
    }

private:
    struct Answer {
        QMessageBox::StandardButton button;
        bool escape;
        std::function<void()> whileOpen;
    };
    void poll();

    QWidget *parentWindow;
    QList<Answer> answers;
    QTimer timer;
    bool busy = false;
};

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

#define ZEL_WIDGET_TEST_MAIN(TestObject)                                                                                                                       \
    int main(int argc, char **argv)                                                                                                                            \
    {                                                                                                                                                          \
        prepareWidgetTestProcess();                                                                                                                            \
        QApplication app(argc, argv);                                                                                                                          \
        prepareWidgetTestApplication(QStringLiteral(#TestObject));                                                                                             \
        TestObject test;                                                                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                                                                                \
    }
