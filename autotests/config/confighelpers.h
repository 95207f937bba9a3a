// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QVector>
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

// A stock Debian configuration file as the sandbox's preparation unpacked it.
inline QByteArray stockFile(const QString &package, const QString &path)
{
    const QString dir = qEnvironmentVariable("ZEL_STOCK_DIR");
    QFile file(dir + QLatin1Char('/') + package + path);
    if (dir.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qFatal("stock file %s of %s not found (ZEL_STOCK_DIR=%s)", qPrintable(path), qPrintable(package), qPrintable(dir));
    }
    return file.readAll();
}

// A line diff: the lines only the old text has and those only the new one
// has (longest common subsequence), each with its line end.
struct Diff {
    QList<QByteArray> removed;
    QList<QByteArray> added;
};

inline QList<QByteArray> splitKeepingEnds(const QByteArray &text)
{
    QList<QByteArray> lines;
    int start = 0;
    while (start < text.size()) {
        const int nl = text.indexOf('\n', start);
        const int end = nl < 0 ? text.size() : nl + 1;
        lines.append(text.mid(start, end - start));
        start = end;
    }
    return lines;
}

inline Diff diff(const QByteArray &before, const QByteArray &after)
{
    const QList<QByteArray> a = splitKeepingEnds(before);
    const QList<QByteArray> b = splitKeepingEnds(after);
    const int n = a.size();
    const int m = b.size();
    QVector<QVector<int>> lcs(n + 1, QVector<int>(m + 1, 0));
    for (int i = n - 1; i >= 0; --i) {
        for (int j = m - 1; j >= 0; --j) {
            lcs[i][j] = a.at(i) == b.at(j) ? lcs[i + 1][j + 1] + 1 : qMax(lcs[i + 1][j], lcs[i][j + 1]);
        }
    }
    Diff d;
    int i = 0;
    int j = 0;
    while (i < n && j < m) {
        if (a.at(i) == b.at(j)) {
            ++i;
            ++j;
        } else if (lcs[i + 1][j] >= lcs[i][j + 1]) {
            d.removed.append(a.at(i++));
        } else {
            d.added.append(b.at(j++));
        }
    }
    while (i < n) {
        d.removed.append(a.at(i++));
    }
    while (j < m) {
        d.added.append(b.at(j++));
    }
    return d;
}
}
