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
    // authdata's ten fields a source: how it is authenticated.
    struct Auth {
        QString address;
        bool nts = false; // NTS; otherwise a symmetric key or none
        qint64 keyId = -1;
        int keyBits = -1;
        qint64 lastExchange = -1; // seconds since the last NTS key exchange
        int attempts = -1; // key exchanges tried since the last that worked
        bool nak = false; // an NTS NAK answered the last request
        int cookies = -1;
    };
    QVector<Auth> auth;
};

// The desktop's "set time automatically" switch: systemd-timedated's
// properties and the units its ntp-units.d lists name.
struct DesktopSwitch {
    bool read = false; // timedated answered
    QString error; // the bus's words when it did not
    bool ntp = false, canNtp = false, synchronized = false;
    QStringList units; // in timedated's order: SetNTP(true) starts the first
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
        NotInstalled, // no unit file for the service
        OtherActive, // not running, and `others` hold the clock
    };
    enum Reason {
        Falseticker,
        NoMajority,
        TooVariable,
        Distance,
        Stratum,
        FewMeasurements,
        SourceNotSynchronised,
        WaitsForOthers,
        NotValid,
        NtsNoCookies,
        NtsNak,
        NtsKeyExchangeFails, // no cookies, and key exchanges tried since
    };
    // What the desktop's switch would do to this service.
    enum Switch {
        SwitchAgrees, // it starts and stops this very service (or nothing to say)
        SwitchUnknown, // timedated did not answer: `switchUnit` holds its words
        SwitchNone, // it names no unit at all
        SwitchOther, // it starts `switchUnit` instead of this service
        SwitchOffWhileRunning, // it is off while this service runs: on starts `switchUnit` besides it
    };
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
    QStringList others; // other time services active at the same time
    Switch desktopSwitch = SwitchAgrees;
    QString switchUnit;
    QVector<ChronyState::Auth> auth; // for the table's NTS column
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
// timesyncd's words: its last answer's root distance against its limit.
void refineTimesyncd(Finding *finding, const TimesyncdSources &properties);
// What the desktop's switch means for `unit`, running or not.
void judgeSwitch(Finding *finding, const QString &unit, bool running, const DesktopSwitch &desktop);
// The units an ntp-units.d file names, one a line.
QStringList parseNtpUnits(const QByteArray &text);
// All of them, as timedated reads them: *.list of /etc, /run, /usr/local/lib
// and /usr/lib's ntp-units.d, a name in an earlier folder hiding the same
// name in a later one, in the order of the files' names.
QStringList readNtpUnits(const QString &root);
}
