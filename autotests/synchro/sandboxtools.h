// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock. Outside it, ntpdig -S would step the real clock.
inline bool insideSandbox()
{
    const QString sandbox = qEnvironmentVariable("ZEL_SANDBOX");
    const QString ntpdig = QStandardPaths::findExecutable(QStringLiteral("ntpdig"));
    return !sandbox.isEmpty() && ntpdig.startsWith(sandbox + QLatin1Char('/'));
}

// A folder of stand-in programs put in front of PATH for one test; PATH is
// restored when it goes.
class StandIns
{
public:
    StandIns()
        : m_path(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_path);
    }
    ~StandIns()
    {
        qputenv("PATH", m_path);
    }

    // Only this folder on PATH: the programs of the machine are not found.
    void hideOthers()
    {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }

    // A shell script named `name` with the given body.
    void add(const QString &name, const QByteArray &body)
    {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/bash\n" + body + '\n');
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    }

    // A script that appends its arguments to `name`.log, then runs the
    // program of that name found after it on PATH (or just exits with 0).
    void addRecorder(const QString &name, bool passOn)
    {
        const QByteArray log = QFile::encodeName(logPath(name));
        QByteArray body = "printf '%s\\n' \"$*\" >> '" + log + "'\n";
        if (passOn) {
            body += "exec '" + QFile::encodeName(QStandardPaths::findExecutable(name, {QString::fromLocal8Bit(m_path).split(QLatin1Char(':'))})) + "' \"$@\"";
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
    QTemporaryDir m_dir;
    QByteArray m_path;
};
