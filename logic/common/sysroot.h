// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

namespace SysRoot
{
// The other system root that ZELADMINTIME_SYSROOT names (the sandbox
// machine's), or "" for the machine's own. A folder that is not root's, or
// that its group or others may write, is ignored.
QString root();

// Where an absolute system path really is: under `root`, or the path itself
// when `root` is empty.
QString path(const QString &root, const QString &absolutePath);
}
