// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/fileerror.h"

#include <cstring>

QString FileError::toString() const
{
    static const char *const names[] = {"no error",
                                        "cannot read",
                                        "cannot write",
                                        "not a regular file",
                                        "leads out of the system root",
                                        "changed on disk after it was read",
                                        "not the configuration file of a time service",
                                        "content too large",
                                        "content not valid",
                                        "line refused",
                                        "line too long",
                                        "request came too late",
                                        "malformed request",
                                        "not authorized",
                                        "helper busy",
                                        "helper did not answer",
                                        "helper failed"};
    QString text = path + QStringLiteral(": ") + QLatin1String(names[kind]);
    if (kind == ReadFailed || kind == WriteFailed) {
        text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(strerror(code)));
    } else if (code != 0) {
        text += QStringLiteral(" (%1)").arg(code);
    }
    if (!detail.isEmpty()) {
        text += QStringLiteral(": ") + detail;
    }
    return text;
}

QVariantMap FileError::toMap() const
{
    return {{QStringLiteral("kind"), int(kind)}, {QStringLiteral("code"), code}, {QStringLiteral("detail"), detail}, {QStringLiteral("path"), path}};
}

FileError FileError::fromMap(const QVariantMap &map)
{
    bool known = false;
    const int kind = map.value(QStringLiteral("kind")).toInt(&known);
    FileError error(HelperFailed,
                    map.value(QStringLiteral("path")).toString(),
                    map.value(QStringLiteral("code")).toInt(),
                    map.value(QStringLiteral("detail")).toString());
    if (known && kind > None && kind <= HelperFailed) {
        error.kind = Kind(kind);
    }
    return error;
}
