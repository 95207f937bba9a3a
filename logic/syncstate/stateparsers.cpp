// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/stateparsers.h"

#include "syncstate/sourceparsers.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <sys/timex.h>

namespace StateParsers
{
// Seconds from 1900 (NTP era 0) to 1970.
static constexpr qint64 ntpToUnix = 2208988800LL;
// Times before 2000-01-01 are unset or nonsense.
static constexpr qint64 plausibleFrom = 946684800LL;

static QDateTime fromUnixMSecs(qint64 msecs)
{
    return msecs / 1000 > plausibleFrom ? QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC) : QDateTime();
}

// A reference clock has no address; its reference ID reads as text.
static QString referenceIdText(const QString &hex)
{
    bool ok = false;
    const quint32 id = hex.toUInt(&ok, 16);
    QString text;
    for (int shift = 24; ok && shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xff);
        if (c == 0) {
            break;
        }
        if (c < 0x21 || c > 0x7e) {
            return {};
        }
        text += QLatin1Char(c);
    }
    return text;
}

SyncState chronyTracking(const QByteArray &output)
{
    // Reference ID, name or address, stratum, reference time (seconds since
    // 1970), ..., leap status last.
    const QStringList fields = QString::fromUtf8(output.trimmed().split('\n').constFirst()).split(QLatin1Char(','));
    SyncState state;
    if (fields.size() < 4) {
        return state;
    }
    const QString leap = fields.last().trimmed();
    if (leap == QLatin1String("Not synchronised")) {
        state.answer = SyncState::NotSynchronized;
        return state;
    }
    if (fields.size() >= 14 && (leap == QLatin1String("Normal") || leap == QLatin1String("Insert second") || leap == QLatin1String("Delete second"))) {
        state.answer = SyncState::Synchronized;
    }
    bool ok = false;
    const double referenceTime = fields.at(3).toDouble(&ok);
    if (ok && referenceTime < 1e11) {
        state.when = fromUnixMSecs(static_cast<qint64>(referenceTime * 1000.0));
    }
    state.server = fields.at(1).trimmed();
    if (state.server.isEmpty()) {
        state.server = referenceIdText(fields.at(0));
    }
    return state;
}

QDateTime fromNtpHexTimestamp(const QString &text)
{
    bool ok = false;
    const quint32 seconds = text.section(QLatin1Char('.'), 0, 0).toUInt(&ok, 16);
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
    return fromUnixMSecs(unixSeconds * 1000 + (fractionOk ? (static_cast<qint64>(fraction) * 1000) >> 32 : 0));
}

SyncState ntpqVariables(const QByteArray &output)
{
    // name=value pairs separated by commas and line breaks; quoted values may
    // hold commas, and a reftime is followed by its date in words.
    static const QRegularExpression pair(QStringLiteral("(?:^|[,\\s])([A-Za-z_]+)=(\"[^\"]*\"|[^,\\s]*)"));
    QHash<QString, QString> values;
    auto it = pair.globalMatch(QString::fromLatin1(output));
    while (it.hasNext()) {
        const auto match = it.next();
        values.insert(match.captured(1), match.captured(2));
    }
    SyncState state;
    static const QRegularExpression leapValue(QStringLiteral("^[0-3]{2}$"));
    const QString leap = values.value(QStringLiteral("leap"));
    if (!leapValue.match(leap).hasMatch()) {
        return state;
    }
    if (leap == QLatin1String("11")) {
        state.answer = SyncState::NotSynchronized;
        return state;
    }
    state.answer = SyncState::Synchronized;
    // Until it has chosen a source ntpd reports a state in the refid ("INIT", "STEP"...).
    static const QRegularExpression notChosen(QStringLiteral("^\\.?(INIT|STEP|RATE|DENY|RSTR|XFAC)\\.?$"));
    QString refid = values.value(QStringLiteral("refid"));
    if (refid.isEmpty() || notChosen.match(refid).hasMatch()) {
        return state;
    }
    // A reference clock is shown as ".GPS." and the like.
    if (refid.size() > 2 && refid.startsWith(QLatin1Char('.')) && refid.endsWith(QLatin1Char('.'))) {
        refid = refid.mid(1, refid.size() - 2);
    }
    state.server = refid;
    state.when = fromNtpHexTimestamp(values.value(QStringLiteral("reftime")));
    return state;
}

SyncState::Answer ntpctlStatus(const QByteArray &output)
{
    if (output.contains("clock unsynced")) {
        return SyncState::NotSynchronized;
    }
    if (output.contains("clock synced")) {
        return SyncState::Synchronized;
    }
    return SyncState::Unknown;
}

SyncState ntpctlFollowed(const QVector<SourceRow> &rows, const QDateTime &now)
{
    SyncState state;
    for (const SourceRow &row : rows) {
        if (row.state == SourceRow::Followed) {
            state.answer = SyncState::Synchronized;
            // The address, as chronyc and ntpq give it with -n.
            state.server = row.address.isEmpty() ? row.name : row.address;
            state.when = now.addMSecs(-qint64(qMax(0.0, row.sinceLast) * 1000));
            break;
        }
    }
    return state;
}

SyncState timesyncd(const TimesyncdSources &p)
{
    SyncState state;
    const QString server = !p.serverName.isEmpty() ? p.serverName : p.serverAddress;
    // No answer yet: everything is zero. Leap 3 is the server's alarm;
    // stratum 0 is a kiss-o'-death, 16 unsynchronized.
    if (server.isEmpty() || p.transmit == 0 || p.destination == 0 || p.leap == 3 || p.stratum == 0 || p.stratum >= 16) {
        state.answer = SyncState::NotSynchronized;
        return state;
    }
    state.answer = SyncState::Synchronized;
    state.server = server;
    // The server's transmit time is the right time; our own clock at arrival
    // may have been the wrong one just corrected. Times in microseconds.
    quint64 usec = p.transmit;
    if (usec / 1000000 < quint64(plausibleFrom) || usec > p.destination + Q_UINT64_C(86400000000) * 365) {
        usec = p.destination;
    }
    state.when = fromUnixMSecs(static_cast<qint64>(usec / 1000));
    return state;
}

SyncState::Answer kernelClock(int status, long maxErrorMicroseconds)
{
    // timedated's NTPSynchronized: STA_UNSYNC clear and a maximum error below 16 s.
    return (status & STA_UNSYNC) == 0 && maxErrorMicroseconds < 16000000 ? SyncState::Synchronized : SyncState::NotSynchronized;
}
}
