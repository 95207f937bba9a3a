// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>

// One time source as a running service reports it. Numbers the service does
// not report are negative (counts, times) or NaN (offsets).
struct SourceRow {
    enum State { Followed, Candidate, Rejected, Falseticker, Unreachable, Configured };

    QString address; // IP address, or a reference clock's id
    QString name; // where the daemon knows one
    State state = Unreachable;
    QString daemonState; // the daemon's own mark or word for it
    int stratum = -1;
    int reach = -1; // the last eight polls, newest in bit 0
    double offset = NAN; // seconds
    double delay = NAN; // round trip, seconds
    double jitter = NAN; // seconds; shown when there is no delay
    double poll = -1; // seconds
    double sinceLast = -1; // seconds since the last answer

    bool operator==(const SourceRow &other) const;
};

// What one query of a service's own tool yielded. `error` holds the tool's
// words when it did not give a table.
struct SourcesReport {
    QVector<SourceRow> rows;
    QString error;
};

// timesyncd's manager properties, as read from the bus.
struct TimesyncdSources {
    QString serverName;
    QString serverAddress;
    QStringList linkServers, systemServers, runtimeServers, fallbackServers;
    quint64 pollUSec = 0;
    // NTPMessage; times in microseconds of the realtime clock.
    quint32 leap = 0, stratum = 0;
    quint64 origin = 0, receive = 0, transmit = 0, destination = 0, jitterUSec = 0;
    quint64 rootDelayUSec = 0, rootDispersionUSec = 0;
    quint64 rootDistanceMaxUSec = 0; // RootDistanceMaxUSec; 0 when not told
    quint64 nowUSec = 0;
};

// One test query of a server, and for an NTS server its key exchange.
struct ServerCheck {
    bool reachable = false;
    int stratum = -1;
    double offset = NAN; // seconds
    double delay = NAN; // round trip, seconds
    QString error; // why it is not reachable
    enum Nts { NtsNotChecked, NtsWorks, NtsFails } nts = NtsNotChecked;
    QString ntsError;
};

// Pure functions over the tools' output; nothing is trusted to be well formed.
namespace SourceParsers
{
// `chronyc -c -n -m sources sourcestats ...`: ten fields a source, eight a
// statistics line, matched by address.
SourcesReport chrony(const QByteArray &output);
// `ntpq -n -w -c peers`, ntpsec's: a long address may stand on its own line.
SourcesReport ntpq(const QByteArray &output);
// `ntpctl -s peers`: a line naming the peer, then its numbers.
SourcesReport ntpctl(const QByteArray &output);
QVector<SourceRow> timesyncd(const TimesyncdSources &properties);
// `ntpdig -j -d`: its JSON line, and the round trip from its debug lines.
ServerCheck ntpdig(const QByteArray &output);
// ntpq's "when": seconds, or with an m, h or d suffix.
double ntpqDuration(const QString &text);
}
