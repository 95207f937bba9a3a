// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncservers.h"

#include "common/serveraddress.h"

#include <algorithm>

#include <QSet>
#include <QSettings>

namespace SyncServers
{
static const QString historyKey = QStringLiteral("recentServers");

// Not the host application's store: that one belongs to the window.
static const QString storeOrganization = QStringLiteral("kcm_zel_admin_time");
static const QString storeName = QStringLiteral("synchro");

// "Pool.NTP.org." and "pool.ntp.org" name the same server.
static QString identity(const QString &address)
{
    QString key = address.toLower();
    if (key.endsWith(QLatin1Char('.'))) {
        key.chop(1);
    }
    return key;
}

QStringList debianPool()
{
    return {
        QStringLiteral("0.debian.pool.ntp.org"),
        QStringLiteral("1.debian.pool.ntp.org"),
        QStringLiteral("2.debian.pool.ntp.org"),
        QStringLiteral("3.debian.pool.ntp.org"),
    };
}

QStringList history()
{
    const QSettings settings(storeOrganization, storeName);
    const QStringList stored = settings.value(historyKey).toStringList();
    // The file may have been edited by hand: keep only what can be used.
    QStringList valid;
    QSet<QString> seen;
    for (const QString &address : stored) {
        if (valid.size() == HistorySize) {
            break;
        }
        const QString key = identity(address);
        if (ServerAddress::isValid(address) && !seen.contains(key)) {
            seen.insert(key);
            valid.append(address);
        }
    }
    return valid;
}

void remember(const QString &address)
{
    if (!ServerAddress::isValid(address)) {
        return;
    }
    QStringList recent = history();
    const QString key = identity(address);
    recent.erase(std::remove_if(recent.begin(),
                                recent.end(),
                                [&key](const QString &used) {
                                    return identity(used) == key;
                                }),
                 recent.end());
    recent.prepend(address);
    while (recent.size() > HistorySize) {
        recent.removeLast();
    }
    QSettings settings(storeOrganization, storeName);
    settings.setValue(historyKey, recent);
    settings.sync();
}

QStringList merged(const QStringList &configured, const QStringList &history)
{
    QStringList servers;
    QSet<QString> seen;
    for (const QStringList &source : {configured, history, debianPool()}) {
        for (const QString &address : source) {
            if (!ServerAddress::isValid(address)) {
                continue;
            }
            const QString key = identity(address);
            if (seen.contains(key)) {
                continue;
            }
            seen.insert(key);
            servers.append(address);
        }
    }
    return servers;
}
}
