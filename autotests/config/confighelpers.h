// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace ConfigTest
{
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

// A page's widget by its name in the form.
template<typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found) {
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    }
    return found;
}

// Runs `answer` on the next modal dialog, from the dialog's own event loop.
inline void whenModal(std::function<void(QWidget *)> answer)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        }
    });
    timer->start();
}

// systemd as a second client sees it (the sandbox maps --user in its system mode).
inline QString systemctl(const QString &arguments)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments.split(QLatin1Char(' ')));
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A stock Debian configuration file as the sandbox's preparation unpacked it.
inline QByteArray stockFile(const QString &package, const QString &path)
{
    const QByteArray stock = readFile(qEnvironmentVariable("ZEL_STOCK_DIR") + QLatin1Char('/') + package + path);
    if (stock.isEmpty()) {
        qFatal("no stock %s of %s under ZEL_STOCK_DIR", qPrintable(path), qPrintable(package));
    }
    return stock;
}
}
