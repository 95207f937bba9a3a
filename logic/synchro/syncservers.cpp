// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncservers.h"

#include "common/nestedwait.h"
#include "common/serveraddress.h"
#include "syncstate/sourcesmonitor.h"

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

QString followed(PackageIndex service, const QDBusConnection &bus, int timeoutMs)
{
    SourcesMonitor monitor(service, bus);
    QVector<SourceRow> rows;
    bool answered = false;
    NestedWait wait(&monitor);
    QObject::connect(&monitor, &SourcesMonitor::updated, &monitor, [&](SourcesMonitor::Status, const QVector<SourceRow> &read) {
        rows = read;
        answered = true;
        wait.quit();
    });
    monitor.setWatching(true);
    if (!answered) {
        wait.exec(timeoutMs);
    }
    monitor.setWatching(false);
    for (const SourceRow &row : std::as_const(rows)) {
        // A reference clock has a name but no address: nothing to ask.
        if (row.state == SourceRow::Followed && !row.address.isEmpty()) {
            return ServerAddress::isValid(row.name) ? row.name : row.address;
        }
    }
    return QString();
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
