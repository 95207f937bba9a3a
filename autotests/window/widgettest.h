// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// Shared set-up of the widget tests (offscreen platform, Breeze icons,
// settings in a private folder) and the one answerer of modal windows.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QtTest/QTest>

#include <functional>

// Before QApplication exists: platform and a private settings folder.
void prepareWidgetTestProcess();
// After: names and icon theme; clears the settings.
void prepareWidgetTestApplication(const char *name);
void clearSettings();

// Answers each modal window (message box or dialog) that opens while it
// lives, in the order given. A window with no answer left is rejected; each
// is recorded in `seen`, so a test fails on one it did not expect. A window
// an answer leaves open is ended after ten seconds rather than hang the test.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QDialog *)>;

    ModalAnswerer();
    ~ModalAnswerer() override;

    // The next window: `answer` ends it as a user would.
    void expect(Answer answer);
    // The next message box: `whileOpen` runs first; NoButton presses Escape.
    void press(QMessageBox::StandardButton button, const std::function<void()> &whileOpen = {});

    QStringList seen; // a box's text, or a dialog's class name
    QList<QDialog *> dialogs;
    int pending() const
    {
        return answers.size();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<Answer> answers;
};

#define ZEL_WIDGET_TEST_MAIN(TestObject)                                                                                                                       \
    int main(int argc, char **argv)                                                                                                                            \
    {                                                                                                                                                          \
        prepareWidgetTestProcess();                                                                                                                            \
        QApplication app(argc, argv);                                                                                                                          \
        prepareWidgetTestApplication(#TestObject);                                                                                                             \
        TestObject test;                                                                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                                                                                \
    }
