// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace TestHelpers
{
QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &content);

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

// systemd as a second client sees it (the sandbox maps --user in its system mode).
QString systemctl(const QString &arguments);

// A stock Debian configuration file as the sandbox's preparation unpacked it.
QByteArray stockFile(const QString &package, const QString &path);

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock and whose /usr/bin is its own.
bool insideSandbox();
}

// Stand-in scripts at the fixed paths the library runs its programs by, in
// the sandbox machine's own /usr; the programs come back when it goes.
class StandIns
{
public:
    ~StandIns();
    // No program of the machine is found where a stand-in could stand.
    void hideOthers();
    // A script at `program`'s path that logs its arguments to log(), then runs `body`.
    void add(const QString &program, const QByteArray &body);
    // The same in a folder put in front of PATH, which must never be used.
    void addInPath(const QString &name, const QByteArray &body);
    // Runs the program that `program` stands in for.
    static QByteArray passOn(const QString &program);
    // A body that writes its pid to pidFile() and hangs.
    QByteArray hang() const;
    QString pidFile() const;
    // The hanging stand-in's process ends within a generous wait.
    bool hungOneEnds() const;
    QString log() const;

private:
    void moveAside(const QString &path);
    static void write(const QString &path, const QByteArray &body);

    QTemporaryDir m_dir;
    QByteArray m_path;
    QStringList m_moved;
};
