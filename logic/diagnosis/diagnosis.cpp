// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/diagnosis.h"

#include "common/sysroot.h"
#include "config/safefile.h"

#include <QDir>
#include <QFile>

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
        } else if (f.size() == 10 && !f.at(0).isEmpty() && (f.at(1) == QLatin1String("NTS") || f.at(1) == QLatin1String("SK") || f.at(1) == QLatin1String("-"))) {
            // Name,Mode,KeyID,Type,KLen,Last,Atmp,NAK,Cook,CLen
            ChronyState::Auth auth;
            auth.address = f.at(0).left(80);
            auth.nts = f.at(1) == QLatin1String("NTS");
            bool ok = false;
            auth.keyId = f.at(2).toLongLong(&ok);
            auth.keyId = ok && auth.keyId >= 0 ? auth.keyId : -1;
            auth.keyBits = count(f.at(4));
            const double last = number(f.at(5));
            // 4294967295: never.
            auth.lastExchange = last >= 0 && last < 4294967295.0 ? qint64(last) : -1;
            auth.attempts = count(f.at(6));
            auth.nak = count(f.at(7)) > 0;
            auth.cookies = count(f.at(8));
            state.auth.append(auth);
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

static Finding judge(PackageIndex service, const QVector<SourceRow> &rows, const ChronyState &chrony, const QDateTime &now)
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

Finding diagnose(PackageIndex service, const QVector<SourceRow> &rows, const ChronyState &chrony, const QDateTime &now)
{
    Finding finding = judge(service, rows, chrony, now);
    if (service != ChronyPackage) {
        return finding;
    }
    // NTS that stopped working: chronyd spends a cookie a request and gets a
    // new one with each answer; none left, it exchanges keys again.
    for (const ChronyState::Auth &auth : chrony.auth) {
        if (!auth.nts) {
            continue;
        }
        // Atmp: key exchanges since the last that worked, which brings cookies.
        if (auth.cookies == 0 && auth.attempts > 0) {
            addEvidence(finding.reasons, Finding::NtsKeyExchangeFails, auth.address);
        } else if (auth.cookies == 0) {
            addEvidence(finding.reasons, Finding::NtsNoCookies, auth.address);
        }
        if (auth.nak) {
            addEvidence(finding.reasons, Finding::NtsNak, auth.address);
        }
    }
    finding.auth = chrony.auth;
    return finding;
}

void refineTimesyncd(Finding *finding, const TimesyncdSources &p)
{
    // timesyncd drops an answer whose root distance is above its limit
    // ("Server has too large root distance"), and asks the next server.
    const quint64 distance = p.rootDelayUSec / 2 + p.rootDispersionUSec;
    if (p.rootDistanceMaxUSec > 0 && p.destination != 0 && distance > p.rootDistanceMaxUSec) {
        finding->kind = Finding::NoneSelected;
        finding->sources.clear();
        finding->reasons = {{Finding::Distance, {p.serverName.isEmpty() ? p.serverAddress : p.serverName}}};
        finding->offset = distance / 1e6;
        finding->slewSeconds = p.rootDistanceMaxUSec / 1e6;
    }
}

void judgeSwitch(Finding *finding, const QString &unit, bool running, const DesktopSwitch &desktop)
{
    if (!desktop.read && desktop.error.isEmpty()) {
        return; // not asked yet
    }
    if (!desktop.read) {
        finding->desktopSwitch = Finding::SwitchUnknown;
        finding->switchUnit = desktop.error;
        return;
    }
    const QString first = desktop.units.value(0);
    if (first.isEmpty() || !desktop.canNtp) {
        finding->desktopSwitch = Finding::SwitchNone;
    } else if (running && !desktop.ntp) {
        // timedated calls NTP on when one of its units runs: this one is none of them.
        finding->desktopSwitch = Finding::SwitchOffWhileRunning;
        finding->switchUnit = first;
    } else if (first != unit) {
        finding->desktopSwitch = Finding::SwitchOther;
        finding->switchUnit = first;
    }
}

QStringList parseNtpUnits(const QByteArray &text)
{
    QStringList units;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';')) {
            continue;
        }
        // A unit's name: no spaces, no slashes, a type after the dot.
        const QString name = QString::fromUtf8(line).left(255);
        if (name.contains(QLatin1Char(' ')) || name.contains(QLatin1Char('/')) || !name.contains(QLatin1Char('.')) || units.contains(name)) {
            continue;
        }
        units.append(name);
    }
    return units;
}

QStringList readNtpUnits(const QString &root)
{
    static const char *const folders[] = {"/etc/systemd/ntp-units.d", "/run/systemd/ntp-units.d", "/usr/local/lib/systemd/ntp-units.d", "/usr/lib/systemd/ntp-units.d"};
    QMap<QString, QString> files; // by name, the first folder's
    for (const char *folder : folders) {
        const QString path = SysRoot::path(root, QLatin1String(folder));
        const QStringList names = QDir(path).entryList({QStringLiteral("*.list")}, QDir::Files | QDir::System, QDir::Name);
        for (const QString &name : names) {
            if (!files.contains(name)) {
                files.insert(name, path + QLatin1Char('/') + name);
            }
        }
    }
    QStringList units;
    for (const QString &path : std::as_const(files)) {
        QFile file(path);
        // A link to /dev/null masks the name: empty, it names nothing.
        if (file.open(QIODevice::ReadOnly) && file.size() <= SafeFile::maxSize) {
            for (const QString &unit : parseNtpUnits(file.readAll())) {
                if (!units.contains(unit)) {
                    units.append(unit);
                }
            }
        }
    }
    return units;
}
}
