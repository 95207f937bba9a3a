// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "authhelper/chronycommand.h"

#include "common/serveraddress.h"

namespace ChronyCommand
{
static const QString commandKey = QStringLiteral("command");
static const QString sourceKey = QStringLiteral("source");

QVariantMap request(const QString &command, const QString &source)
{
    QVariantMap map{{commandKey, command}};
    if (!source.isEmpty()) {
        map.insert(sourceKey, source);
    }
    return map;
}

bool arguments(const QVariantMap &request, QStringList *arguments)
{
    for (auto it = request.cbegin(); it != request.cend(); ++it) {
        if ((it.key() != commandKey && it.key() != sourceKey) || it.value().userType() != QMetaType::QString) {
            return false;
        }
    }
    const QString command = request.value(commandKey).toString();
    const bool hasSource = request.contains(sourceKey);
    const QString source = request.value(sourceKey).toString();
    if (hasSource && !ServerAddress::isValid(source)) {
        return false;
    }
    // -n: the address stays an address; -m never: one command a request.
    if (command == QLatin1String("burst")) {
        *arguments = QStringList{QStringLiteral("-n"), QStringLiteral("burst"), QStringLiteral("4/4")};
    } else if (command == QLatin1String("online")) {
        *arguments = QStringList{QStringLiteral("-n"), QStringLiteral("online")};
    } else if (command == QLatin1String("makestep") && !hasSource) {
        // Without arguments: with two it would change chronyd's settings.
        *arguments = QStringList{QStringLiteral("-n"), QStringLiteral("makestep")};
        return true;
    } else {
        return false;
    }
    if (hasSource) {
        arguments->append(source);
    }
    return true;
}
}
