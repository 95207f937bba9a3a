// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QtTest/QTest>

#include <functional>

void clearSettings();

// Answers each modal window (message box or dialog) opening while it lives,
// in the order given; one with no answer left is rejected. Each is recorded
// in `seen`. One an answer leaves open is ended after ten seconds.
class ModalAnswerer : public QObject
{
public:
    using Answer = std::function<void(QDialog *)>;

    ModalAnswerer();
    void expect(Answer answer)
    {
        answers.append(std::move(answer));
    }
    // The next message box: `whileOpen` runs first; NoButton presses Escape.
    void press(QMessageBox::StandardButton button, const std::function<void()> &whileOpen = {});

    QStringList seen; // a box's text, or a dialog's class name

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<Answer> answers;
};

// The offscreen platform, settings of the process's own, Breeze icons; then
// `run` makes the test object and runs it.
int runWidgetTest(int &argc, char **argv, const char *name, const std::function<int()> &run);

#define ZEL_WIDGET_TEST_MAIN(TestObject)                                                                                                                       \
    int main(int argc, char **argv)                                                                                                                            \
    {                                                                                                                                                          \
        return runWidgetTest(argc, argv, #TestObject, [&] {                                                                                                    \
            TestObject test;                                                                                                                                   \
            return QTest::qExec(&test, argc, argv);                                                                                                            \
        });                                                                                                                                                    \
    }
