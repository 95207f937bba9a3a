// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "common/sysroot.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace SysRoot
{
QString root()
{
    const QString root = qEnvironmentVariable("ZELADMINTIME_SYSROOT");
    if (root.isEmpty()) {
        return {};
    }
    // Whoever may change what lies under it would decide what the module
    // reads, and what root writes there.
    struct stat info;
    if (::stat(QFile::encodeName(root).constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return {};
    }
    return root;
}

QString path(const QString &root, const QString &absolutePath)
{
    if (root.isEmpty()) {
        return absolutePath;
    }
    return QDir::cleanPath(root + QLatin1Char('/') + absolutePath);
}
}
