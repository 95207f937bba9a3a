// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "lastsyncparsers.h"

#include <QRegularExpression>
#include <QStringList>

namespace LastSyncParsers
{
// Seconds from 1900 (NTP era 0) to 1970.
static constexpr qint64 ntpToUnix = 2208988800LL;

// Times before this are unset or nonsense.
static bool isPlausible(qint64 unixSeconds)
{
    return unixSeconds > 946684800LL; // 2000-01-01
}

static QDateTime fromUnixSeconds(double seconds)
{
    if (!isPlausible(static_cast<qint64>(seconds))) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0), Qt::UTC);
}

LastSyncRecord parseChronyTracking(const QString &output)
{
    // Reference ID, name or address, stratum, reference time (seconds since
    // 1970), ... , leap status last.
    const QString line = output.trimmed().section(QLatin1Char('\n'), 0, 0);
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 4) {
        return {};
    }
    if (fields.last().trimmed() == QLatin1String("Not synchronised")) {
        return {};
    }
    bool ok = false;
    const double referenceTime = fields.at(3).toDouble(&ok);
    if (!ok) {
        return {};
    }
    LastSyncRecord record;
    record.when = fromUnixSeconds(referenceTime);
    record.server = fields.at(1).trimmed();
    // A reference clock has no address; its reference ID reads as text.
    if (record.server.isEmpty()) {
        bool isHex = false;
        const quint32 id = fields.at(0).toUInt(&isHex, 16);
        QString text;
        for (int shift = 24; isHex && shift >= 0; shift -= 8) {
            const char c = static_cast<char>((id >> shift) & 0xff);
            if (c == 0) {
                break;
            }
            if (c < 0x21 || c > 0x7e) {
                text.clear();
                break;
            }
            text += QLatin1Char(c);
        }
        record.server = text;
    }
    return record;
}

QDateTime fromNtpHexTimestamp(const QString &text)
{
    const QString secondsText = text.section(QLatin1Char('.'), 0, 0);
    bool ok = false;
    const quint32 seconds = secondsText.toUInt(&ok, 16);
    if (!ok || seconds == 0) {
        return {};
    }
    // Era 1 starts in 2036; small values belong to it.
    qint64 unixSeconds = static_cast<qint64>(seconds) - ntpToUnix;
    if (seconds < 0x80000000U) {
        unixSeconds += Q_INT64_C(0x100000000);
    }
    bool fractionOk = false;
    const quint32 fraction = text.section(QLatin1Char('.'), 1, 1).toUInt(&fractionOk, 16);
    const qint64 msecs = fractionOk ? (static_cast<qint64>(fraction) * 1000) >> 32 : 0;
    if (!isPlausible(unixSeconds)) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(unixSeconds * 1000 + msecs, Qt::UTC);
}

LastSyncRecord parseNtpqReadvar(const QString &output)
{
    // name=value pairs separated by commas and line breaks; quoted values may
    // hold commas, and a reftime is followed by its date in words.
    static const QRegularExpression pair(QStringLiteral("(?:^|[,\\s])([A-Za-z_]+)=(\"[^\"]*\"|[^,\\s]*)"));
    QHash<QString, QString> values;
    auto it = pair.globalMatch(output);
    while (it.hasNext()) {
        const auto match = it.next();
        values.insert(match.captured(1), match.captured(2));
    }
    // 11: the daemon is not synchronized.
    if (values.value(QStringLiteral("leap")) == QLatin1String("11")) {
        return {};
    }
    const QString refid = values.value(QStringLiteral("refid"));
    // Until it has chosen a source ntpd reports a state in the refid ("INIT", "STEP"...).
    static const QRegularExpression state(QStringLiteral("^\\.?(INIT|STEP|RATE|DENY|RSTR|XFAC)\\.?$"));
    if (refid.isEmpty() || state.match(refid).hasMatch()) {
        return {};
    }
    LastSyncRecord record;
    record.when = fromNtpHexTimestamp(values.value(QStringLiteral("reftime")));
    record.server = refid;
    // A reference clock is shown as ".GPS." and the like.
    if (record.server.size() > 2 && record.server.startsWith(QLatin1Char('.')) && record.server.endsWith(QLatin1Char('.'))) {
        record.server = record.server.mid(1, record.server.size() - 2);
    }
    return record;
}

LastSyncRecord parseNtpctlPeers(const QString &output, const QDateTime &now)
{
    // peer
    //    wt tl st  next  poll          offset       delay      jitter
    // 192.0.2.1 from pool pool.ntp.org
    //  *  1 10  2   34s   32s         0.155ms     4.402ms     0.236ms
    const QStringList lines = output.split(QLatin1Char('\n'));
    static const QRegularExpression selected(QStringLiteral("^\\s*\\*\\s+\\d+\\s+\\d+\\s+\\S+\\s+(-?\\d+)s\\s+(\\d+)s"));
    for (int i = 1; i < lines.size(); ++i) {
        const auto match = selected.match(lines.at(i));
        if (!match.hasMatch()) {
            continue;
        }
        // The line before describes the peer: "ADDRESS [from pool ]NAME[ (non-dnssec lookup)]".
        QString description = lines.at(i - 1).trimmed();
        description.remove(QStringLiteral(" (non-dnssec lookup)"));
        const QString address = description.section(QLatin1Char(' '), 0, 0);
        const QString rest = description.section(QLatin1Char(' '), 1);
        LastSyncRecord record;
        // A pool name is no server; a server's own name is nicer than its address.
        record.server = (rest.isEmpty() || rest.startsWith(QLatin1String("from pool "))) ? address : rest;
        const qint64 next = qMax<qint64>(0, match.captured(1).toLongLong());
        const qint64 poll = match.captured(2).toLongLong();
        record.when = now.addSecs(-qMax<qint64>(0, poll - next));
        return record;
    }
    return {};
}
}
