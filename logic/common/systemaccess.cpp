// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "common/systemaccess.h"

#include "common/sysroot.h"

SystemAccess SystemAccess::machine()
{
    return SystemAccess{QDBusConnection::systemBus(), SysRoot::root()};
}
