// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncparsers.h"

#include <QList>
#include <QRegularExpression>

#include <sys/timex.h>

namespace SyncParsers
{
Answer chronyTracking(const QByteArray &output)
{
    const QByteArray line = output.trimmed().split('\n').constFirst().trimmed();
    const QList<QByteArray> fields = line.split(',');
    // Reference ID, name, stratum, ..., update interval, leap status.
    if (fields.size() < 14) {
        return Answer::Unknown;
    }
    const QByteArray leap = fields.last().trimmed();
    if (leap == "Not synchronised") {
        return Answer::NotSynchronized;
    }
    if (leap == "Normal" || leap == "Insert second" || leap == "Delete second") {
        return Answer::Synchronized;
    }
    return Answer::Unknown;
}

Answer ntpqVariables(const QByteArray &output)
{
    static const QRegularExpression leapField(QStringLiteral("(?:^|[\\s,])leap=([0-3]{2})(?:[,\\s]|$)"));
    const QRegularExpressionMatch match = leapField.match(QString::fromLatin1(output));
    if (!match.hasMatch()) {
        return Answer::Unknown;
    }
    return match.captured(1) == QLatin1String("11") ? Answer::NotSynchronized : Answer::Synchronized;
}

Answer ntpctlStatus(const QByteArray &output)
{
    if (output.contains("clock unsynced")) {
        return Answer::NotSynchronized;
    }
    if (output.contains("clock synced")) {
        return Answer::Synchronized;
    }
    return Answer::Unknown;
}

Answer timesyncdMessage(const QString &serverName, uint leap, uint stratum, quint64 transmitTimestamp)
{
    if (serverName.isEmpty() || transmitTimestamp == 0) {
        return Answer::NotSynchronized; // no server has answered yet
    }
    // Leap 3 is the server's alarm; stratum 0 is a kiss-o'-death, 16 unsynchronized.
    if (leap == 3 || stratum == 0 || stratum >= 16) {
        return Answer::NotSynchronized;
    }
    return Answer::Synchronized;
}

Answer kernelClock(int status, long maxErrorMicroseconds)
{
    // timedated's NTPSynchronized: STA_UNSYNC clear and a maximum error below 16 s.
    return (status & STA_UNSYNC) == 0 && maxErrorMicroseconds < 16000000 ? Answer::Synchronized : Answer::NotSynchronized;
}
}
