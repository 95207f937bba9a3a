// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "common/programs.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock and whose /usr/bin is its own. Outside it, ntpdig -S would step the
// real clock.
inline bool insideSandbox()
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    return !qEnvironmentVariableIsEmpty("ZEL_SANDBOX") && mounts.open(QIODevice::ReadOnly) && mounts.readAll().contains("zel-sandbox-usr /usr/bin overlay");
}

// Stand-in programs at the fixed paths the library runs them by, in the
// sandbox machine's own /usr/bin and /usr/sbin, for one test; the programs
// there before come back when it goes.
class StandIns
{
public:
    ~StandIns()
    {
        for (const QString &path : qAsConst(m_moved)) {
            QFile::remove(path);
            ::rename(QFile::encodeName(aside(path)).constData(), QFile::encodeName(path).constData());
        }
        if (!m_path.isNull()) {
            qputenv("PATH", m_path);
        }
    }

    // The programs of the machine that no stand-in replaces are not found.
    void hideOthers()
    {
        for (const QString &path : programs()) {
            moveAside(path);
        }
    }

    // A shell script named `name` with the given body, at its fixed path.
    void add(const QString &name, const QByteArray &body)
    {
        write(fixedPath(name), body);
    }

    // The same, in a folder put in front of PATH.
    void addInPath(const QString &name, const QByteArray &body)
    {
        m_path = m_path.isNull() ? qgetenv("PATH") : m_path;
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_path);
        write(m_dir.filePath(name), body);
    }

    // A script that appends its arguments to `name`.log, then runs the
    // program it replaces (or just exits with 0).
    void addRecorder(const QString &name, bool passOn)
    {
        QByteArray body = "printf '%s\\n' \"$*\" >> '" + QFile::encodeName(logPath(name)) + "'\n";
        if (passOn) {
            body += "exec '" + QFile::encodeName(aside(fixedPath(name))) + "' \"$@\"";
        }
        add(name, body);
    }
    // A script that appends its arguments to `name`.log, then prints `output`.
    void addAnswering(const QString &name, const QByteArray &output)
    {
        add(name, "printf '%s\\n' \"$*\" >> '" + QFile::encodeName(logPath(name)) + "'\ncat <<'END'\n" + output + "\nEND");
    }

    QString logPath(const QString &name) const
    {
        return m_dir.filePath(name + QStringLiteral(".log"));
    }

    QString log(const QString &name) const
    {
        QFile file(logPath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    QString path() const
    {
        return m_dir.path();
    }

private:
    static QStringList programs()
    {
        return {Programs::ntpdig(), Programs::pkexec(), Programs::synapticPkexec(), Programs::chronyc(), Programs::ntpq(), Programs::ntpctl()};
    }
    static QString fixedPath(const QString &name)
    {
        const QStringList paths = programs().filter(QRegularExpression(QLatin1Char('/') + name + QLatin1Char('$')));
        return paths.value(0);
    }
    static QString aside(const QString &path)
    {
        return path + QStringLiteral(".zel-test-saved");
    }
    void moveAside(const QString &path)
    {
        if (!insideSandbox()) {
            qFatal("stand-ins take the programs' fixed paths: run inside the sandbox machine");
        }
        if (!m_moved.contains(path)) {
            m_moved.append(path);
            ::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside(path)).constData());
        }
    }
    void write(const QString &path, const QByteArray &body)
    {
        moveAside(path);
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
