// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

struct SourceRow;
struct TimesyncdSources;

// What a service says about its own synchronization: whether the clock is
// synchronized, and when and against which server it last was. A null `when`
// or an empty `server` means that is not known.
struct SyncState {
    enum Answer { Synchronized, NotSynchronized, Unknown };
    Answer answer = Unknown;
    QDateTime when;
    QString server;

    bool isKnown() const
    {
        return when.isValid() && !server.isEmpty();
    }
};

// One pure function for each output of the services' tools; the status line
// and the last-sync info read the same result.
namespace StateParsers
{
// `chronyc -n -c tracking`: one CSV line, the leap status last.
SyncState chronyTracking(const QByteArray &output);
// `ntpq -n -c rv`: ntpd's system variables; leap=11 is the alarm state of a
// clock that is not synchronized.
SyncState ntpqVariables(const QByteArray &output);
// `ntpctl -s status`: "clock synced" or "clock unsynced".
SyncState::Answer ntpctlStatus(const QByteArray &output);
// The peer openntpd follows, from its `ntpctl -s peers` rows (see
// SourceParsers::ntpctl). It does not say when it last answered, so the time
// is that of its last poll, counted back from `now`.
SyncState ntpctlFollowed(const QVector<SourceRow> &rows, const QDateTime &now);
// timesyncd's manager properties: its last answer from a server.
SyncState timesyncd(const TimesyncdSources &properties);
// The kernel's clock state, as timedated judges it.
SyncState::Answer kernelClock(int status, long maxErrorMicroseconds);
// An NTP timestamp in ntpq's hexadecimal form "seconds.fraction".
QDateTime fromNtpHexTimestamp(const QString &text);
}
