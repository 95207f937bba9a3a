// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "common/programs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock and whose /usr/bin and /usr/sbin are its own overlays. Outside it,
// ntpdig -S would step the real clock.
inline bool insideSandbox()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (qEnvironmentVariableIsEmpty("ZEL_SANDBOX") || !mounts.open(QIODevice::ReadOnly)) {
        return false;
    }
    int overlays = 0;
    for (const QByteArray &line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        overlays += fields.size() > 4 && (fields.at(4) == "/usr/bin" || fields.at(4) == "/usr/sbin") && line.contains(" zel-sandbox-usr ");
    }
    return overlays >= 2;
}

// Stand-in programs at the fixed paths the library runs them by, in the
// sandbox machine's own /usr/bin and /usr/sbin, for one test; the programs
// found there before come back when it goes.
class StandIns
{
public:
    StandIns()
    {
        if (!insideSandbox()) {
            qFatal("stand-ins replace programs at their fixed paths: run inside the sandbox machine");
        }
    }
    ~StandIns()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            QFile::remove(it.key());
            if (!it.value().isEmpty()) {
                ::rename(QFile::encodeName(it.value()).constData(), QFile::encodeName(it.key()).constData());
            }
        }
        if (!m_path.isNull()) {
            qputenv("PATH", m_path);
        }
    }

    static QString fixedPath(const QString &name)
    {
        const QHash<QString, QString> paths{{QStringLiteral("ntpdig"), Programs::ntpdig()},
                                            {QStringLiteral("pkexec"), Programs::pkexec()},
                                            {QStringLiteral("chronyc"), Programs::chronyc()},
                                            {QStringLiteral("ntpq"), Programs::ntpq()},
                                            {QStringLiteral("ntpctl"), Programs::ntpctl()},
                                            {QStringLiteral("synaptic-pkexec"), Programs::synapticPkexec()}};
        return paths.value(name);
    }

    // The programs of the machine that no stand-in replaces are not found.
    void hideOthers()
    {
        for (const char *name : {"ntpdig", "pkexec", "chronyc", "ntpq", "ntpctl", "synaptic-pkexec"}) {
            moveAside(QLatin1String(name));
        }
    }

    // A shell script named `name` with the given body, at its fixed path.
    void add(const QString &name, const QByteArray &body)
    {
        moveAside(name);
        write(fixedPath(name), body);
    }

    // The same, in a folder put in front of PATH.
    void addInPath(const QString &name, const QByteArray &body)
    {
        if (m_path.isNull()) {
            m_path = qgetenv("PATH");
            qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_path);
        }
        write(m_dir.filePath(name), body);
    }

    // A script that appends its arguments to `name`.log, then runs the
    // program it replaces (or just exits with 0).
    void addRecorder(const QString &name, bool passOn)
    {
        moveAside(name);
        QByteArray body = "printf '%s\\n' \"$*\" >> '" + QFile::encodeName(logPath(name)) + "'\n";
        if (passOn) {
            body += "exec '" + QFile::encodeName(m_saved.value(fixedPath(name))) + "' \"$@\"";
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
    void write(const QString &path, const QByteArray &body)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/bash\n" + body + '\n');
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    }

    // Keeps the program at `name`'s fixed path, to be put back later.
    void moveAside(const QString &name)
    {
        const QString path = fixedPath(name);
        if (m_saved.contains(path)) {
            return;
        }
        const QString saved = QFileInfo(path).path() + QStringLiteral("/.zel-saved-") + name;
        m_saved.insert(path, ::rename(QFile::encodeName(path).constData(), QFile::encodeName(saved).constData()) == 0 ? saved : QString());
    }

    QTemporaryDir m_dir;
    QByteArray m_path;
    QHash<QString, QString> m_saved; // fixed path -> where its program waits, "" when none
};
