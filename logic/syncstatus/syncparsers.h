// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>

// What the services' own status tools say about synchronization. Pure
// functions over their output.
namespace SyncParsers
{
enum class Answer { Synchronized, NotSynchronized, Unknown };

// `chronyc -c tracking`: the last field is the leap status.
Answer chronyTracking(const QByteArray &output);
// `ntpq -c rv`: leap=11 is the alarm state of a clock that is not synchronized.
Answer ntpqVariables(const QByteArray &output);
// `ntpctl -s status`: "clock synced" or "clock unsynced".
Answer ntpctlStatus(const QByteArray &output);
// timesyncd's NTPMessage: a usable answer from a server.
Answer timesyncdMessage(const QString &serverName, uint leap, uint stratum, quint64 transmitTimestamp);
// The kernel's clock state, as timedated judges it.
Answer kernelClock(int status, long maxErrorMicroseconds);
}
