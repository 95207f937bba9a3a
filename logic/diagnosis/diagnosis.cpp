// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/diagnosis.h"

#include <cmath>

namespace Diagnosis
{
static double number(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? value : NAN;
}

static int count(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

ChronyState parseChrony(const QByteArray &output)
{
    ChronyState state;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QStringList f = QString::fromUtf8(line.trimmed()).split(QLatin1Char(','));
        if (f.size() == 14 && !state.tracking) {
            state.tracking = true;
            state.reference = f.at(1).left(80);
            state.stratum = qBound(-1, count(f.at(2)), 16);
            const double reference = number(f.at(3));
            // Zero until the first update; nonsense far beyond today is no time either.
            if (reference > 946684800.0 && reference < 32503680000.0) {
                state.referenceTime = QDateTime::fromMSecsSinceEpoch(qint64(reference * 1000), Qt::UTC);
            }
            state.systemOffset = number(f.at(4));
            state.lastOffset = number(f.at(5));
            state.leapUnsynchronised = f.at(13) == QLatin1String("Not synchronised");
        } else if (f.size() == 18 && f.at(0).size() == 1 && !f.at(1).isEmpty()) {
            state.selection.append({f.at(1).left(80), f.at(0).at(0)});
        } else if (f.size() == 5 && state.online < 0) {
            state.online = count(f.at(0));
            state.offline = count(f.at(1));
            state.unresolved = count(f.at(4));
        }
    }
    return state;
}

// Why chronyd left a source out, by selectdata's letter (chronyc(1)).
static bool chronyReason(QChar letter, Finding::Reason *reason)
{
    switch (letter.toLatin1()) {
    case 'x':
    case 'T':
        *reason = Finding::Falseticker;
        return true;
    case '~':
        *reason = Finding::TooVariable;
        return true;
    case 'd':
        *reason = Finding::Distance;
        return true;
    case 'O':
        *reason = Finding::Stratum;
        return true;
    case 'M':
        *reason = Finding::FewMeasurements;
        return true;
    case 's':
        *reason = Finding::SourceNotSynchronised;
        return true;
    case 'W':
    case 'w':
        *reason = Finding::WaitsForOthers;
        return true;
    default:
        return false;
    }
}

static void addEvidence(QVector<Finding::Evidence> &reasons, Finding::Reason reason, const QString &source)
{
    for (Finding::Evidence &evidence : reasons) {
        if (evidence.reason == reason) {
            evidence.sources.append(source);
            return;
        }
    }
    reasons.append({reason, {source}});
}

static QString sourceName(const SourceRow &row)
{
    return row.name.isEmpty() ? row.address : row.name;
}

Finding diagnose(PackageIndex service, const QVector<SourceRow> &rows, const ChronyState &chrony, const QDateTime &now)
{
    Finding finding;
    const bool isChrony = service == ChronyPackage;
    if (rows.isEmpty()) {
        // Names that never resolved are no rows yet.
        finding.kind = isChrony && chrony.unresolved > 0 ? Finding::NoneReachable : Finding::NoSources;
        finding.count = qMax(0, chrony.unresolved);
        return finding;
    }
    const SourceRow *followed = nullptr;
    bool reachable = false;
    for (const SourceRow &row : rows) {
        if (row.state == SourceRow::Followed && !followed) {
            followed = &row;
        }
        reachable = reachable || row.reach > 0 || (row.reach < 0 && row.state != SourceRow::Unreachable && row.state != SourceRow::Configured);
        if (isChrony && !chrony.selection.isEmpty()) {
            continue;
        }
        if (row.state == SourceRow::Falseticker) {
            addEvidence(finding.reasons, Finding::Falseticker, sourceName(row));
        } else if (service == OpenntpdPackage && row.state == SourceRow::Unreachable) {
            // ntpctl tells no reach: "peer not valid" covers both.
            addEvidence(finding.reasons, Finding::NotValid, sourceName(row));
        } else if (service == NtpsecPackage && row.state == SourceRow::Rejected && row.reach > 0) {
            // ntpq's tally: "-" an outlier of the cluster, " " not valid (stratum, distance, a loop).
            addEvidence(finding.reasons, row.daemonState == QLatin1String("-") ? Finding::TooVariable : Finding::NotValid, sourceName(row));
        }
    }
    if (isChrony) {
        for (const ChronyState::Selection &selection : chrony.selection) {
            Finding::Reason reason;
            if (chronyReason(selection.state, &reason)) {
                addEvidence(finding.reasons, reason, selection.address);
            }
        }
    }

    // Set offline, chronyd asks nobody: whatever it followed goes stale.
    if (isChrony && chrony.offline > 0 && chrony.online == 0) {
        finding.kind = Finding::Offline;
        finding.count = chrony.offline;
        finding.fixes = Finding::Online;
        finding.reasons.clear();
        return finding;
    }
    if (!followed) {
        finding.fixes = isChrony ? Finding::Burst : Finding::NoFix;
        if (!reachable && service != OpenntpdPackage) {
            finding.kind = Finding::NoneReachable;
            for (const SourceRow &row : rows) {
                finding.sources.append(sourceName(row));
            }
            finding.count = qMax(0, chrony.unresolved);
            finding.reasons.clear();
        } else {
            finding.kind = Finding::NoneSelected;
            // Every candidate a falseticker: they disagree without a majority.
            if (finding.reasons.size() == 1 && finding.reasons.first().reason == Finding::Falseticker && finding.reasons.first().sources.size() >= 2) {
                finding.reasons.first().reason = Finding::NoMajority;
            }
        }
        return finding;
    }

    finding.server = sourceName(*followed);
    finding.stratum = followed->stratum;
    finding.offset = isChrony && chrony.tracking ? chrony.systemOffset : followed->offset;
    if (isChrony && chrony.tracking) {
        finding.since = chrony.referenceTime;
    } else if (followed->sinceLast >= 0) {
        finding.since = now.addMSecs(-qint64(followed->sinceLast * 1000));
    }
    if (isChrony && chrony.tracking && chrony.leapUnsynchronised) {
        finding.kind = Finding::NotSynchronised;
        finding.fixes = Finding::Burst;
        return finding;
    }
    finding.slewSeconds = std::isnan(finding.offset) ? NAN : std::fabs(finding.offset) / maxSlewRate;
    if (isChrony && finding.slewSeconds > reasonableSlewSeconds) {
        finding.kind = Finding::LargeOffset;
        finding.fixes = Finding::MakeStep;
        return finding;
    }
    finding.kind = Finding::Synchronized;
    return finding;
}
}
