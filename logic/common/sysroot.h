// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

namespace SysRoot
{
// Where an absolute system path really is. ZELADMINTIME_SYSROOT names another
// root (the sandbox machine's); without it, the path itself.
QString path(const QString &absolutePath);
}
