// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDateTime>
#include <QString>

// What a service's own tool says about its last synchronization. A null
// `when` or an empty `server` means nothing is known.
struct LastSyncRecord {
    QDateTime when;
    QString server;

    bool isKnown() const
    {
        return when.isValid() && !server.isEmpty();
    }
};

namespace LastSyncParsers
{
// `chronyc -c tracking`: one CSV line.
LastSyncRecord parseChronyTracking(const QString &output);
// `ntpq -n -c rv`: ntpd's system variables.
LastSyncRecord parseNtpqReadvar(const QString &output);
// `ntpctl -s peers`: the peer marked "*" is the one the clock follows; the
// daemon does not say when it last answered, so the time is that of its last
// poll, worked out from `now` and the peer's next and poll columns.
LastSyncRecord parseNtpctlPeers(const QString &output, const QDateTime &now);
// An NTP timestamp in ntpq's hexadecimal form "seconds.fraction".
QDateTime fromNtpHexTimestamp(const QString &text);
}
