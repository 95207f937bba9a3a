// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "testhelpers.h"

#include "common/programs.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <signal.h>

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

StandIns::~StandIns()
{
    for (const QString &path : std::as_const(m_moved)) {
        QFile::remove(path);
        std::rename(QFile::encodeName(path + QLatin1String(".zel-test-saved")).constData(), QFile::encodeName(path).constData());
    }
    if (!m_path.isNull()) {
        qputenv("PATH", m_path);
    }
}

void StandIns::hideOthers()
{
    for (const QString &path : {Programs::ntpdig(), Programs::pkexec(), Programs::chronyc(), Programs::ntpq(), Programs::ntpctl()}) {
        moveAside(path);
        QFile::remove(path);
    }
}

void StandIns::add(const QString &program, const QByteArray &body)
{
    moveAside(program);
    write(program, "printf '%s\\n' \"$*\" >> '" + QFile::encodeName(m_dir.filePath(QStringLiteral("log"))) + "'\n" + body);
}

void StandIns::addInPath(const QString &name, const QByteArray &body)
{
    m_path = qgetenv("PATH");
    qputenv("PATH", QByteArray(QFile::encodeName(m_dir.path()) + ':' + m_path));
    write(m_dir.filePath(name), body);
}

QByteArray StandIns::passOn(const QString &program)
{
    return "exec '" + QFile::encodeName(program + QLatin1String(".zel-test-saved")) + "' \"$@\"";
}

QByteArray StandIns::hang() const
{
    return "echo $$ > '" + QFile::encodeName(pidFile()) + "'\nexec sleep 600";
}

QString StandIns::pidFile() const
{
    return m_dir.filePath(QStringLiteral("pid"));
}

bool StandIns::hungOneEnds() const
{
    QFile file(pidFile());
    if (!QTest::qWaitFor(
            [&file] {
                return file.size() > 0;
            },
            30000)
        || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const pid_t pid = file.readAll().trimmed().toInt();
    return pid > 0
        && QTest::qWaitFor(
               [pid] {
                   return ::kill(pid, 0) == -1;
               },
               30000);
}

QString StandIns::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

void StandIns::moveAside(const QString &path)
{
    if (!TestHelpers::insideSandbox()) {
        qFatal("stand-ins take the programs' fixed paths: run inside the sandbox machine");
    }
    if (!m_moved.contains(path)) {
        m_moved.append(path);
        std::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + QLatin1String(".zel-test-saved")).constData());
    }
}

void StandIns::write(const QString &path, const QByteArray &body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/bash\n" + body + '\n');
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}
