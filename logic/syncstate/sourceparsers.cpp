// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/sourceparsers.h"

#include <QHash>
#include <QRegularExpression>

static bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

bool SourceRow::operator==(const SourceRow &o) const
{
    return address == o.address && name == o.name && state == o.state && daemonState == o.daemonState && stratum == o.stratum && reach == o.reach
        && same(offset, o.offset) && same(delay, o.delay) && same(jitter, o.jitter) && poll == o.poll && sinceLast == o.sinceLast;
}

namespace
{
// The first line of what a tool said instead of its table.
QString firstWords(const QByteArray &output)
{
    const QByteArray line = output.trimmed().split('\n').value(0).trimmed();
    return QString::fromUtf8(line.left(300));
}

// A finite number or NaN; 0 when the field is "-" or empty is not wanted.
double number(const QString &text, bool *ok = nullptr)
{
    bool parsed = false;
    const double value = text.toDouble(&parsed);
    const bool good = parsed && std::isfinite(value);
    if (ok) {
        *ok = good;
    }
    return good ? value : NAN;
}

int octalReach(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 8);
    return ok && value >= 0 && value <= 0377 ? value : -1;
}

int stratumOf(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 16 ? value : -1;
}
}

namespace SourceParsers
{
SourcesReport chrony(const QByteArray &output)
{
    SourcesReport report;
    QHash<QString, double> deviations;
    bool understood = false;
    const auto lines = output.split('\n');
    for (const QByteArray &raw : lines) {
        const QStringList f = QString::fromUtf8(raw.trimmed()).split(QLatin1Char(','));
        if (f.size() == 8) {
            // Name,NP,NR,Span,Frequency,Freq Skew,Offset,Std Dev
            bool ok = false;
            const int samples = f.at(1).toInt(&ok);
            const double deviation = number(f.at(7));
            understood = understood || ok;
            if (ok && samples > 0 && !std::isnan(deviation)) {
                deviations.insert(f.at(0), deviation);
            }
            continue;
        }
        if (f.size() != 10 || f.at(0).size() != 1 || f.at(1).size() != 1 || f.at(2).isEmpty()) {
            continue;
        }
        // Mode,State,Name,Stratum,Poll,Reach,LastRx,Offset,Measured offset,Error
        const QChar mode = f.at(0).at(0);
        const QChar state = f.at(1).at(0);
        if (!QStringLiteral("^=#").contains(mode) || !QStringLiteral("*+-?x~").contains(state)) {
            continue;
        }
        understood = true;
        SourceRow row;
        // A reference clock has a name of its own and no address.
        (mode == QLatin1Char('#') ? row.name : row.address) = f.at(2);
        row.daemonState = f.at(1);
        switch (state.toLatin1()) {
        case '*':
            row.state = SourceRow::Followed;
            break;
        case '+':
            row.state = SourceRow::Candidate;
            break;
        case 'x':
            row.state = SourceRow::Falseticker;
            break;
        case '?':
            row.state = SourceRow::Unreachable;
            break;
        default: // '-' not combined, '~' too variable
            row.state = SourceRow::Rejected;
        }
        row.reach = octalReach(f.at(5));
        if (row.reach == 0) {
            row.state = SourceRow::Unreachable;
        }
        // Stratum and poll are 0 until the first answer.
        row.stratum = row.reach > 0 ? stratumOf(f.at(3)) : -1;
        bool ok = false;
        const int poll = f.at(4).toInt(&ok);
        row.poll = ok && poll >= -10 && poll <= 24 && row.reach > 0 ? std::ldexp(1.0, poll) : -1;
        // 4294967295: never.
        const qint64 lastRx = f.at(6).toLongLong(&ok);
        row.sinceLast = ok && lastRx >= 0 && lastRx < 0xffffffffLL ? double(lastRx) : -1;
        if (row.reach > 0) {
            row.offset = number(f.at(7));
        }
        report.rows.append(row);
    }
    for (SourceRow &row : report.rows) {
        row.jitter = deviations.value(row.address.isEmpty() ? row.name : row.address, NAN);
    }
    if (!understood && !output.trimmed().isEmpty()) {
        report.error = firstWords(output);
    }
    return report;
}

double ntpqDuration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})([mhd]?)$"));
    const auto match = form.match(text);
    if (!match.hasMatch()) {
        return -1;
    }
    const double value = match.captured(1).toDouble();
    const QString unit = match.captured(2);
    return value * (unit == QLatin1String("m") ? 60 : unit == QLatin1String("h") ? 3600 : unit == QLatin1String("d") ? 86400 : 1);
}

SourcesReport ntpq(const QByteArray &output)
{
    //      remote           refid      st t when poll reach   delay   offset   jitter
    // *192.0.2.10      .GPS.            1 u   35   64  377  12.3450  -0.1230   0.4560
    static const QRegularExpression numbers(
        QStringLiteral("^\\s*(\\S+)\\s+(\\d+)\\s+(\\S)\\s+(\\S+)\\s+(\\S+)\\s+([0-7]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)\\s*$"));
    static const QRegularExpression full(QStringLiteral("^([ x.#+*o-])(\\S+)(\\s+\\S+\\s+\\d+\\s+\\S.*)$"));
    static const QRegularExpression alone(QStringLiteral("^([ x.#+*o-])(\\S+)\\s*$"));
    SourcesReport report;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    int start = -1;
    for (int i = 0; i < lines.size() && start < 0; ++i) {
        if (lines.at(i).contains(QLatin1String("remote")) && lines.at(i).contains(QLatin1String("refid"))) {
            start = i + 1;
        }
    }
    if (start < 0) {
        report.error = firstWords(output);
        return report;
    }
    QString tally, remote;
    for (int i = start; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(QLatin1Char('='))) {
            continue;
        }
        QString rest;
        if (const auto m = full.match(line); m.hasMatch()) {
            tally = m.captured(1);
            remote = m.captured(2);
            rest = m.captured(3);
        } else if (const auto m = alone.match(line); m.hasMatch()) {
            // -w: a long address, its numbers on the next line.
            tally = m.captured(1);
            remote = m.captured(2);
            continue;
        } else if (!remote.isEmpty()) {
            rest = line;
        }
        const auto m = numbers.match(rest);
        if (remote.isEmpty() || !m.hasMatch()) {
            remote.clear();
            continue;
        }
        SourceRow row;
        const QString refid = m.captured(1);
        row.daemonState = tally.trimmed().isEmpty() ? QStringLiteral("reject") : tally;
        row.reach = octalReach(m.captured(6));
        row.stratum = stratumOf(m.captured(2));
        if (row.stratum == 16) {
            row.stratum = -1;
        }
        if (refid == QLatin1String(".POOL.")) {
            // The pool's own entry, which only spawns the servers.
            row.name = remote;
            row.state = SourceRow::Configured;
            row.daemonState = QStringLiteral("pool");
        } else {
            row.address = remote;
            switch (tally.at(0).toLatin1()) {
            case '*':
            case 'o':
                row.state = SourceRow::Followed;
                break;
            case '+':
            case '#':
                row.state = SourceRow::Candidate;
                break;
            case 'x':
                row.state = SourceRow::Falseticker;
                break;
            default: // '-' outlier, '.' excess, ' ' rejected
                row.state = SourceRow::Rejected;
            }
            if (row.reach == 0) {
                row.state = SourceRow::Unreachable;
            }
        }
        row.sinceLast = ntpqDuration(m.captured(4));
        row.poll = ntpqDuration(m.captured(5));
        if (row.reach > 0) {
            row.delay = number(m.captured(7)) / 1000;
            row.offset = number(m.captured(8)) / 1000;
            row.jitter = number(m.captured(9)) / 1000;
        }
        report.rows.append(row);
        remote.clear();
    }
    return report;
}

SourcesReport ntpctl(const QByteArray &output)
{
    // peer
    //    wt tl st  next  poll          offset       delay      jitter
    // 192.0.2.1 from pool pool.ntp.org
    //  *  1 10  2   12s   32s        -0.140ms    12.215ms     0.505ms
    static const QRegularExpression numbers(
        QStringLiteral("^\\s*(\\*?)\\s*(\\d+)\\s+(\\d+)\\s+(\\d+|-)\\s+(-?\\d+)s\\s+(\\d+)s\\s+(?:(-?[\\d.]+)ms\\s+(-?[\\d.]+)ms\\s+(-?[\\d.]+)ms|-+ peer not "
                       "valid -+)\\s*$"));
    SourcesReport report;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    const int header = lines.indexOf(QStringLiteral("peer"));
    if (header < 0) {
        report.error = firstWords(output);
        return report;
    }
    for (int i = header + 2; i < lines.size(); ++i) {
        if (lines.at(i) == QLatin1String("sensor")) {
            break;
        }
        const auto m = numbers.match(lines.at(i));
        if (!m.hasMatch()) {
            continue;
        }
        // "ADDRESS [from pool ]NAME[ (non-dnssec lookup)]"
        QString description = lines.at(i - 1).trimmed();
        description.remove(QStringLiteral(" (non-dnssec lookup)"));
        SourceRow row;
        row.address = description.section(QLatin1Char(' '), 0, 0);
        QString rest = description.section(QLatin1Char(' '), 1);
        if (rest.startsWith(QLatin1String("from pool "))) {
            rest = rest.mid(10);
        }
        row.name = rest;
        // Not resolved yet: the line holds the name alone.
        if (row.address == QLatin1String("not") && rest.startsWith(QLatin1String("resolved"))) {
            row.address.clear();
            row.name = rest.section(QLatin1Char(' '), 1);
        }
        if (row.address.isEmpty() && row.name.isEmpty()) {
            continue;
        }
        const bool valid = m.capturedLength(7) > 0;
        row.state = !m.captured(1).isEmpty() ? SourceRow::Followed : valid ? SourceRow::Candidate : SourceRow::Unreachable;
        row.daemonState = !m.captured(1).isEmpty() ? QStringLiteral("*") : valid ? QStringLiteral("valid") : QStringLiteral("not valid");
        row.stratum = valid ? stratumOf(m.captured(4)) : -1;
        row.poll = m.captured(6).toDouble();
        if (valid) {
            row.offset = number(m.captured(7)) / 1000;
            row.delay = number(m.captured(8)) / 1000;
            row.jitter = number(m.captured(9)) / 1000;
            // ntpd does not say when it last heard the peer; its last poll is
            // the nearest it tells.
            row.sinceLast = qMax(0.0, row.poll - m.captured(5).toDouble());
        }
        report.rows.append(row);
    }
    return report;
}

QVector<SourceRow> timesyncd(const TimesyncdSources &p)
{
    QVector<SourceRow> rows;
    if (!p.serverName.isEmpty() || !p.serverAddress.isEmpty()) {
        SourceRow row;
        row.address = p.serverAddress;
        row.name = p.serverName != p.serverAddress ? p.serverName : QString();
        row.poll = p.pollUSec > 0 ? p.pollUSec / 1e6 : -1;
        const bool answered = p.destination != 0 && p.stratum > 0 && p.stratum < 16 && p.leap != 3;
        row.state = answered ? SourceRow::Followed : SourceRow::Unreachable;
        row.daemonState = answered ? QStringLiteral("synchronized") : QStringLiteral("no answer");
        if (answered) {
            row.stratum = int(p.stratum);
            const double t1 = double(p.origin), t2 = double(p.receive), t3 = double(p.transmit), t4 = double(p.destination);
            row.offset = ((t2 - t1) + (t3 - t4)) / 2e6;
            row.delay = ((t4 - t1) - (t3 - t2)) / 1e6;
            row.jitter = p.jitterUSec / 1e6;
            row.sinceLast = p.nowUSec >= p.destination ? (p.nowUSec - p.destination) / 1e6 : 0;
        }
        rows.append(row);
    }
    // The other servers it knows; the fallback ones only count without them.
    QStringList others = p.linkServers + p.systemServers + p.runtimeServers;
    if (others.isEmpty()) {
        others = p.fallbackServers;
    }
    QStringList seen{p.serverName, p.serverAddress};
    for (const QString &name : std::as_const(others)) {
        if (name.isEmpty() || seen.contains(name, Qt::CaseInsensitive)) {
            continue;
        }
        seen.append(name);
        SourceRow row;
        row.name = name;
        row.state = SourceRow::Configured;
        row.daemonState = QStringLiteral("not in use");
        rows.append(row);
    }
    return rows;
}
}

#include <QJsonDocument>
#include <QJsonObject>

ServerCheck SourceParsers::ntpdig(const QByteArray &output)
{
    ServerCheck check;
    static const QRegularExpression times(QStringLiteral("rec-org t21: (-?[\\d.]+)\\s+xmt-dst t34: (-?[\\d.]+)"));
    const auto lines = output.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('{')) {
            const QJsonObject json = QJsonDocument::fromJson(line).object();
            const QJsonValue stratum = json.value(QStringLiteral("stratum"));
            const QJsonValue offset = json.value(QStringLiteral("offset"));
            // A stratum is a whole number; anything else is not an answer.
            const double level = stratum.toDouble();
            if (stratum.isDouble() && offset.isDouble() && level >= 1 && level < 16 && level == std::floor(level)) {
                check.reachable = true;
                check.stratum = int(level);
                check.offset = std::isfinite(offset.toDouble()) ? offset.toDouble() : NAN;
            }
            continue;
        }
        const auto m = times.match(QString::fromUtf8(line));
        if (m.hasMatch()) {
            // (t4 - t1) - (t3 - t2) = t21 - t34
            check.delay = number(m.captured(1)) - number(m.captured(2));
        }
    }
    if (!check.reachable) {
        check.delay = NAN;
        // Its own words say why: a failed lookup, "no eligible servers"...
        QStringList words;
        for (const QByteArray &raw : lines) {
            const QByteArray line = raw.trimmed();
            if (!line.isEmpty() && !line.startsWith("ntpdig: querying") && !line.contains(" t1: ") && !line.contains(" t3: ") && !line.contains(" t21: ")) {
                words.append(QString::fromUtf8(line.left(300)));
            }
        }
        check.error = words.mid(0, 4).join(QLatin1Char('\n'));
    }
    return check;
}
