// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"
#include "syncstate/sourceparsers.h"

#include <QDateTime>
#include <QMetaType>

// What chronyd says of its own state, from `chronyc -c -n -m ... tracking
// selectdata activity`: fourteen fields of tracking, eighteen a selected or
// rejected source, five of activity; the sources' lines are left to
// SourceParsers::chrony.
struct ChronyState {
    bool tracking = false;
    QString reference; // address, or a reference clock's id
    int stratum = -1;
    QDateTime referenceTime; // the last clock update
    double systemOffset = NAN; // seconds the clock still has to be corrected
    double lastOffset = NAN;
    bool leapUnsynchronised = false;
    struct Selection {
        QString address;
        QChar state; // selectdata's letter
    };
    QVector<Selection> selection;
    int online = -1, offline = -1, unresolved = -1;
};

// One finding about a service, with its evidence. Kinds and data only: the
// words are made where it is shown.
struct Finding {
    enum Kind {
        Reading,
        NotRunning,
        Failed, // `detail` holds the tool's or the bus's words
        NoSources,
        NoneReachable, // `sources` never answered; `count` names never resolved
        Offline, // `count` sources set offline
        NoneSelected, // `reasons`
        LargeOffset, // `offset`, `slewSeconds`
        NotSynchronised, // the daemon's leap status says so
        Synchronized, // `server`, `stratum`, `offset`, `since`; `reasons` for the sources left out
    };
    enum Reason { Falseticker, NoMajority, TooVariable, Distance, Stratum, FewMeasurements, SourceNotSynchronised, WaitsForOthers, NotValid };
    enum Fix { NoFix = 0, Burst = 1, Online = 2, MakeStep = 4 };
    struct Evidence {
        Reason reason;
        QStringList sources;
    };

    Kind kind = Reading;
    QVector<Evidence> reasons;
    QStringList sources;
    QString server;
    QString detail;
    int stratum = -1;
    int count = 0;
    double offset = NAN; // seconds
    double slewSeconds = NAN;
    QDateTime since;
    int fixes = NoFix;
};
Q_DECLARE_METATYPE(Finding)

namespace Diagnosis
{
// How fast chronyd slews the clock at most (maxslewrate, 83333 ppm) and how
// long a correction may take before it is worth a word.
constexpr double maxSlewRate = 83333.333e-6;
constexpr double reasonableSlewSeconds = 600;

ChronyState parseChrony(const QByteArray &output);
// The finding for a running service's sources; chrony's own state refines it.
Finding diagnose(PackageIndex service, const QVector<SourceRow> &rows, const ChronyState &chrony, const QDateTime &now);
}
