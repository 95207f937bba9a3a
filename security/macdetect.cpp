// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "macdetect.h"

#include <QFile>

namespace MACDetect
{
bool isEmptyLabel(const QByteArray &label)
{
    // The kernel ends the label with a newline and sometimes a NUL; AppArmor
    // adds " (enforce)" or similar after the profile name.
    QByteArray text = label;
    while (!text.isEmpty() && (text.endsWith('\n') || text.endsWith('\0'))) {
        text.chop(1);
    }
    text = text.trimmed();
    return text.isEmpty() || text == "unconfined";
}

bool isCurrentProcessHasEmptyMAC()
{
    QFile file(QStringLiteral("/proc/self/attr/current"));
    if (!file.open(QIODevice::ReadOnly)) {
        return true;
    }
    return isEmptyLabel(file.readAll());
}
}
