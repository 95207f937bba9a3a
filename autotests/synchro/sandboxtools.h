// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "common/programs.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <signal.h>

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock and whose /usr/bin is its own.
inline bool insideSandbox()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    return !qEnvironmentVariableIsEmpty("ZEL_SANDBOX") && mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains("zel-sandbox-usr /usr/bin overlay");
}

// Stand-in scripts at the fixed paths the library runs its programs by, in
// the sandbox machine's own /usr; the programs come back when it goes.
class StandIns
{
public:
    ~StandIns()
    {
        for (const QString &path : std::as_const(m_moved)) {
            QFile::remove(path);
            std::rename(QFile::encodeName(path + QLatin1String(".zel-test-saved")).constData(), QFile::encodeName(path).constData());
        }
        if (!m_path.isNull()) {
            qputenv("PATH", m_path);
        }
    }
    // No program of the machine is found where a stand-in could stand.
    void hideOthers()
    {
        for (const QString &path : {Programs::ntpdig(), Programs::pkexec(), Programs::chronyc(), Programs::ntpq(), Programs::ntpctl()}) {
            moveAside(path);
            QFile::remove(path);
        }
    }
    // A script at `program`'s path that logs its arguments to log(), then runs `body`.
    void add(const QString &program, const QByteArray &body)
    {
        moveAside(program);
        write(program, "printf '%s\\n' \"$*\" >> '" + QFile::encodeName(m_dir.filePath(QStringLiteral("log"))) + "'\n" + body);
    }
    // The same in a folder put in front of PATH, which must never be used.
    void addInPath(const QString &name, const QByteArray &body)
    {
        m_path = qgetenv("PATH");
        qputenv("PATH", QByteArray(QFile::encodeName(m_dir.path()) + ':' + m_path));
        write(m_dir.filePath(name), body);
    }
    // Runs the program that `program` stands in for.
    static QByteArray passOn(const QString &program)
    {
        return "exec '" + QFile::encodeName(program + QLatin1String(".zel-test-saved")) + "' \"$@\"";
    }
    // A body that writes its pid to pidFile() and hangs.
    QByteArray hang() const
    {
        return "echo $$ > '" + QFile::encodeName(pidFile()) + "'\nexec sleep 600";
    }
    QString pidFile() const
    {
        return m_dir.filePath(QStringLiteral("pid"));
    }
    // The hanging stand-in's process ends within a generous wait.
    bool hungOneEnds() const
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
    QString log() const
    {
        QFile file(m_dir.filePath(QStringLiteral("log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    void moveAside(const QString &path)
    {
        if (!insideSandbox()) {
            qFatal("stand-ins take the programs' fixed paths: run inside the sandbox machine");
        }
        if (!m_moved.contains(path)) {
            m_moved.append(path);
            std::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + QLatin1String(".zel-test-saved")).constData());
        }
    }
    static void write(const QString &path, const QByteArray &body)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\n" + body + '\n');
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    }

    QTemporaryDir m_dir;
    QByteArray m_path;
    QStringList m_moved;
};
