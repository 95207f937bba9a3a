// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sources/sourcesmodel.h"

#include <KLocalizedString>

#include <QFont>
#include <QLocale>

#include <algorithm>

void SourcesModel::setRows(const QVector<SourceRow> &rows)
{
    if (rows.size() == m_rows.size()) {
        // The usual case every two seconds: the same sources, new numbers.
        if (rows != m_rows) {
            m_rows = rows;
            Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        }
        return;
    }
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void SourcesModel::setOrigins(const QVector<SourceOrigin> &origins)
{
    const bool same = origins.size() == m_origins.size()
        && std::equal(origins.cbegin(), origins.cend(), m_origins.cbegin(), [](const SourceOrigin &a, const SourceOrigin &b) {
                          return a.host == b.host && a.kind == b.kind && a.file == b.file && a.inUse == b.inUse;
                      });
    if (!same) {
        m_origins = origins;
        if (!m_rows.isEmpty()) {
            Q_EMIT dataChanged(index(0, OriginColumn), index(rowCount() - 1, OriginColumn));
        }
    }
}

void SourcesModel::setAuth(const QVector<ChronyState::Auth> &auth)
{
    const bool same = auth.size() == m_auth.size() && std::equal(auth.cbegin(), auth.cend(), m_auth.cbegin(), [](const ChronyState::Auth &a, const ChronyState::Auth &b) {
                          return a.address == b.address && ntsText(a) == ntsText(b);
                      });
    if (same) {
        return;
    }
    m_auth = auth;
    if (rowCount() > 0) {
        Q_EMIT dataChanged(index(0, NtsColumn), index(rowCount() - 1, NtsColumn));
    }
}

static const ChronyState::Auth *authOf(const QVector<ChronyState::Auth> &auth, const SourceRow &row)
{
    for (const ChronyState::Auth &a : auth) {
        if (a.nts && (a.address == row.address || a.address == row.name)) {
            return &a;
        }
    }
    return nullptr;
}

QString SourcesModel::ntsText(const ChronyState::Auth &auth)
{
    if (!auth.nts) {
        return {};
    }
    QString text = auth.keyBits > 0 ? ki18nd("kcm_zel_admin_time", "NTS, key %1 (%2 bits)").subs(auth.keyId).subs(auth.keyBits).toString()
                                    : ki18nd("kcm_zel_admin_time", "NTS, no key yet").toString();
    if (auth.lastExchange >= 0) {
        text = ki18nd("kcm_zel_admin_time", "%1, keys exchanged %2 ago").subs(text).subs(durationText(double(auth.lastExchange), false)).toString();
    }
    text = ki18ndp("kcm_zel_admin_time", "%2, %1 cookie", "%2, %1 cookies").subs(qMax(0, auth.cookies)).subs(text).toString();
    if (auth.nak) {
        text = ki18nd("kcm_zel_admin_time", "%1, NAK").subs(text).toString();
    }
    if (auth.attempts > 0) {
        text = ki18ndp("kcm_zel_admin_time", "%2, %1 key exchange attempt", "%2, %1 key exchange attempts").subs(auth.attempts).subs(text).toString();
    }
    return text;
}

QString SourcesModel::originText(SourceOrigin::Kind kind)
{
    switch (kind) {
    case SourceOrigin::MainFile:
        return ki18nd("kcm_zel_admin_time", "main file").toString();
    case SourceOrigin::Dhcp:
        return ki18nd("kcm_zel_admin_time", "DHCP").toString();
    case SourceOrigin::DropIn:
        return ki18nd("kcm_zel_admin_time", "drop-in file").toString();
    case SourceOrigin::Link:
        return ki18nd("kcm_zel_admin_time", "network link").toString();
    case SourceOrigin::System:
        return ki18nd("kcm_zel_admin_time", "system list").toString();
    case SourceOrigin::Fallback:
        return ki18nd("kcm_zel_admin_time", "fallback list").toString();
    case SourceOrigin::Runtime:
        return ki18nd("kcm_zel_admin_time", "set at run time").toString();
    }
    return {};
}

int SourcesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int SourcesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString SourcesModel::reachText(int reach)
{
    if (reach < 0) {
        return {};
    }
    QString text;
    for (int bit = 7; bit >= 0; --bit) {
        text += reach & (1 << bit) ? QChar(0x25CF) : QChar(0x25CB);
    }
    return text;
}

QString SourcesModel::durationText(double seconds, bool sign)
{
    if (std::isnan(seconds)) {
        return {};
    }
    const QLocale locale;
    const double size = std::abs(seconds);
    QString text;
    if (size < 1e-6 && size > 0) {
        text = ki18nd("kcm_zel_admin_time", "%1 ns").subs(locale.toString(seconds * 1e9, 'f', 0)).toString();
    } else if (size < 1e-3) {
        text = ki18nd("kcm_zel_admin_time", "%1 µs").subs(locale.toString(seconds * 1e6, 'f', 0)).toString();
    } else if (size < 1) {
        text = ki18nd("kcm_zel_admin_time", "%1 ms").subs(locale.toString(seconds * 1e3, 'f', 3)).toString();
    } else if (size < 120) {
        text = ki18nd("kcm_zel_admin_time", "%1 s").subs(locale.toString(seconds, 'f', size < 10 ? 3 : 0)).toString();
    } else if (size < 7200) {
        text = ki18nd("kcm_zel_admin_time", "%1 min").subs(locale.toString(seconds / 60, 'f', 0)).toString();
    } else {
        text = ki18nd("kcm_zel_admin_time", "%1 h").subs(locale.toString(seconds / 3600, 'f', 0)).toString();
    }
    return sign && seconds >= 0 ? QLatin1Char('+') + text : text;
}

static QString stateText(SourceRow::State state)
{
    switch (state) {
    case SourceRow::Followed:
        return ki18nd("kcm_zel_admin_time", "Followed").toString();
    case SourceRow::Candidate:
        return ki18nd("kcm_zel_admin_time", "Candidate").toString();
    case SourceRow::Rejected:
        return ki18nd("kcm_zel_admin_time", "Rejected").toString();
    case SourceRow::Falseticker:
        return ki18nd("kcm_zel_admin_time", "Falseticker").toString();
    case SourceRow::Unreachable:
        return ki18nd("kcm_zel_admin_time", "Unreachable").toString();
    case SourceRow::Configured:
        return ki18nd("kcm_zel_admin_time", "Not in use").toString();
    }
    return {};
}

QVariant SourcesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return {};
    }
    const SourceRow &row = m_rows.at(index.row());
    if (role == Qt::FontRole && index.column() == SourceColumn && row.state == SourceRow::Followed) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::ToolTipRole) {
        switch (index.column()) {
        case StateColumn:
            return ki18nd("kcm_zel_admin_time", "The service's own word: %1").subs(row.daemonState).toString();
        case ReachColumn:
            return row.reach < 0 ? QVariant()
                                 : ki18nd("kcm_zel_admin_time", "The last eight polls, the newest on the right; filled: answered (%1 octal)")
                                       .subs(QString::number(row.reach, 8))
                                       .toString();
        case OriginColumn:
            if (const SourceOrigin *origin = SourceOrigins::find(m_origins, row.address, row.name); origin && !origin->file.isEmpty()) {
                return origin->file;
            }
            return {};
        case DelayColumn:
            return std::isnan(row.delay) && !std::isnan(row.jitter) ? ki18nd("kcm_zel_admin_time", "Jitter: the service does not report the delay").toString()
                                                                    : QVariant();
        }
        return {};
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case SourceColumn:
        if (!row.name.isEmpty() && !row.address.isEmpty()) {
            return ki18nd("kcm_zel_admin_time", "%1 (%2)").subs(row.name).subs(row.address).toString();
        }
        return row.name.isEmpty() ? row.address : row.name;
    case StateColumn:
        return stateText(row.state);
    case StratumColumn:
        return row.stratum < 0 ? QVariant() : QVariant(row.stratum);
    case ReachColumn:
        return reachText(row.reach);
    case OffsetColumn:
        return durationText(row.offset, true);
    case DelayColumn:
        if (!std::isnan(row.delay)) {
            return durationText(row.delay, false);
        }
        return std::isnan(row.jitter) ? QString() : ki18nd("kcm_zel_admin_time", "±%1").subs(durationText(row.jitter, false)).toString();
    case PollColumn:
        if (row.poll > 0 && row.poll < 1) {
            // chronyd's sub-second polls are powers of two: 1/64 s.
            return ki18nd("kcm_zel_admin_time", "1/%1 s").subs(qRound(1 / row.poll)).toString();
        }
        return row.poll < 0 ? QString() : durationText(row.poll, false);
    case LastColumn:
        if (row.sinceLast < 0) {
            return QString();
        }
        return ki18nd("kcm_zel_admin_time", "%1 ago")
            .subs(row.sinceLast < 120 ? ki18nd("kcm_zel_admin_time", "%1 s").subs(qRound(row.sinceLast)).toString() : durationText(row.sinceLast, false))
            .toString();
    case OriginColumn:
        if (const SourceOrigin *origin = SourceOrigins::find(m_origins, row.address, row.name)) {
            return originText(origin->kind);
        }
        return QString();
    case NtsColumn:
        if (const ChronyState::Auth *auth = authOf(m_auth, row)) {
            return ntsText(*auth);
        }
        return QString();
    }
    return {};
}

QVariant SourcesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case SourceColumn:
        return ki18nd("kcm_zel_admin_time", "Source").toString();
    case StateColumn:
        return ki18nd("kcm_zel_admin_time", "State").toString();
    case StratumColumn:
        return ki18nd("kcm_zel_admin_time", "Stratum").toString();
    case ReachColumn:
        return ki18nd("kcm_zel_admin_time", "Reach").toString();
    case OffsetColumn:
        return ki18nd("kcm_zel_admin_time", "Offset").toString();
    case DelayColumn:
        return ki18nd("kcm_zel_admin_time", "Delay").toString();
    case PollColumn:
        return ki18nd("kcm_zel_admin_time", "Poll").toString();
    case LastColumn:
        return ki18nd("kcm_zel_admin_time", "Last answer").toString();
    case OriginColumn:
        return ki18nd("kcm_zel_admin_time", "Origin").toString();
    case NtsColumn:
        return ki18nd("kcm_zel_admin_time", "NTS").toString();
    }
    return {};
}
