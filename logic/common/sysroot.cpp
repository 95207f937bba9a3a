// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sysroot.h"

#include <QDir>

namespace SysRoot
{
QString path(const QString &absolutePath)
{
    const QString root = qEnvironmentVariable("ZELADMINTIME_SYSROOT");
    if (root.isEmpty()) {
        return absolutePath;
    }
    return QDir::cleanPath(root + QLatin1Char('/') + absolutePath);
}
}
