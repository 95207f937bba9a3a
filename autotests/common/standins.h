// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QStringList>
#include <QTemporaryDir>

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
