// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Preloaded into kcmshell5 (LD_PRELOAD): edits a server on the shown settings
// page, closes the host's window the way ZEL_CLOSE_PROBE_HOW says (title:
// its close event, escape, button: the dialog's Close button), and answers
// the unsaved-changes question with ZEL_CLOSE_PROBE_ANSWER (yes, no,
// cancel). What it did and saw goes, a line each, to ZEL_CLOSE_PROBE_OUT.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
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

QWidget *moduleWindow()
{
    const auto widgets = QApplication::allWidgets();
    for (QWidget *w : widgets) {
        if (qstrcmp(w->metaObject()->className(), "MainWindow") == 0) {
            return w;
        }
    }
    return nullptr;
}

// Adds a server on the shown page: the window's changed state follows.
bool editServer(QWidget *window, const QString &server)
{
    auto *page = window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"))->currentWidget();
    auto *edit = page ? page->findChild<QLineEdit *>(QStringLiteral("newServerEdit")) : nullptr;
    if (!edit) {
        return false;
    }
    edit->setText(server);
    for (QWidget *w = edit->parentWidget(); w; w = w->parentWidget()) {
        if (auto *add = w->findChild<QAbstractButton *>(QStringLiteral("addServerBtn"))) {
            add->click();
            return true;
        }
    }
    return false;
}

void answerQuestions(const QString &answer)
{
    auto *poll = new QTimer(QCoreApplication::instance());
    QObject::connect(poll, &QTimer::timeout, poll, [answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("zelAnswered").toBool()) {
            return;
        }
        box->setProperty("zelAnswered", true);
        note(QStringLiteral("asked\t") + box->windowTitle() + QLatin1Char('\t') + box->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
        const QMessageBox::StandardButton button = answer == QLatin1String("yes") ? QMessageBox::Yes
            : answer == QLatin1String("no")                                       ? QMessageBox::No
                                                                                  : QMessageBox::Cancel;
        if (QAbstractButton *b = box->button(button)) {
            b->click();
        } else {
            box->reject();
        }
    });
    poll->start(50);
}

void closeHost(QWidget *window, const QString &how)
{
    QWidget *host = window->window();
    note(QStringLiteral("closing\t") + how + QLatin1Char('\t') + QString::fromLatin1(host->metaObject()->className()));
    if (how == QLatin1String("escape")) {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : host;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
    } else if (how == QLatin1String("button")) {
        for (QDialogButtonBox *box : host->findChildren<QDialogButtonBox *>()) {
            if (QAbstractButton *close = box->button(QDialogButtonBox::Close); close && close->isVisible()) {
                close->click();
                return;
            }
        }
        note(QStringLiteral("no close button"));
    } else {
        host->close();
    }
}

void startProbe()
{
    if (qEnvironmentVariableIsEmpty("ZEL_CLOSE_PROBE_OUT") || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return;
    }
    QTimer::singleShot(4000, QCoreApplication::instance(), [] {
        QWidget *window = moduleWindow();
        if (!window) {
            note(QStringLiteral("no module window"));
            return;
        }
        const QString answer = qEnvironmentVariable("ZEL_CLOSE_PROBE_ANSWER");
        note(QStringLiteral("edited\t") + (editServer(window, QStringLiteral("e2e-%1.example.org").arg(answer)) ? QLatin1String("1") : QLatin1String("0")));
        auto *save = window->findChild<QAction *>(QStringLiteral("saveAction"));
        note(QStringLiteral("changed\t") + (save && save->isEnabled() ? QLatin1String("1") : QLatin1String("0")));
        answerQuestions(answer);
        closeHost(window, qEnvironmentVariable("ZEL_CLOSE_PROBE_HOW"));
        note(QStringLiteral("returned"));
    });
}

}

Q_COREAPP_STARTUP_FUNCTION(startProbe)
