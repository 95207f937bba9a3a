// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

// Run state of a time-synchronization service. Plain int underneath: callers
// store it in item roles and may meet values outside the four known ones.
enum ServiceState : int {
    NoInstalledService = 0,
    ServiceNotActive = 1,
    ServiceNotSynchronized = 2,
    ServiceSynchronized = 3,
};

// Key of the installed-services map; its order is the order of the list rows.
enum PackageIndex : int {
    TimesyncdPackage = 0,
    ChronyPackage = 1,
    NtpsecPackage = 2,
    OpenntpdPackage = 3,
};

// Texts ready for display, formatted by the library.
struct LastSynchroInfo {
    QString date;
    QString time;
    QString server;
};
