// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "testhelpers.h"

#include <QFile>
#include <QProcess>
#include <QTest>

namespace TestHelpers
{
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

QString systemctl(const QString &arguments)
{
    QProcess process;
    process.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments.split(QLatin1Char(' ')));
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QByteArray stockFile(const QString &package, const QString &path)
{
    const QByteArray stock = readFile(qEnvironmentVariable("ZEL_STOCK_DIR") + QLatin1Char('/') + package + path);
    if (stock.isEmpty()) {
        qFatal("no stock %s of %s under ZEL_STOCK_DIR", qPrintable(path), qPrintable(package));
    }
    return stock;
}

bool insideSandbox()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    return !qEnvironmentVariableIsEmpty("ZEL_SANDBOX") && mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains("zel-sandbox-usr /usr/bin overlay");
}
}
