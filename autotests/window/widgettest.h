// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Shared set-up of the widget tests: offscreen platform, Breeze icons,
// settings in a temporary folder under a test organisation, and answers to
// the message boxes a test opens.

#include <QIcon>
#include <QImage>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

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
};

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

#define ZEL_WIDGET_TEST_MAIN(TestObject)                                                                                                                       \
    int main(int argc, char **argv)                                                                                                                            \
    {                                                                                                                                                          \
        prepareWidgetTestProcess();                                                                                                                            \
        QApplication app(argc, argv);                                                                                                                          \
        prepareWidgetTestApplication(QStringLiteral(#TestObject));                                                                                             \
        TestObject test;                                                                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                                                                                \
    }
