// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDBusConnection>
#include <QString>

// The library's seams, named in one place. The controller makes one of these
// for the running machine and hands it to the parts that reach the system;
// tests make their own. Beside it: the programs the library runs, by fixed
// paths (common/programs.h), and its one way of waiting in a nested event
// loop (common/nestedwait.h).
struct SystemAccess {
    // systemd, timesyncd and the other services answer here.
    QDBusConnection bus;
    // The system root the machine's files are read and written under; empty
    // for the machine's own (see SysRoot::root()).
    QString root;

    // This machine: the system bus and the system root of SysRoot::root().
    static SystemAccess machine();
};
