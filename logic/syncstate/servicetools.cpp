// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/servicetools.h"

#include "common/programs.h"

// Whether the clock is synchronized now, from the same reading as the last
// synchronization.
template<SyncState (*reading)(const QByteArray &)>
static SyncState::Answer answerOf(const QByteArray &output)
{
    return reading(output).answer;
}

// -n everywhere: a slow resolver must not cost an answer its time limit.
static ServiceTools::Service chrony()
{
    const ServiceTools::Command tracking{Programs::chronyc(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("tracking")}};
    return {
        {tracking, StateParsers::chronyTracking},
        {tracking, answerOf<StateParsers::chronyTracking>},
        // -m: every command in one run, one program started a refresh; the
        // diagnosis reads the rest (Diagnosis::parseChrony). chronyc stops at
        // the first that fails, so the table's come first.
        {{Programs::chronyc(),
          {QStringLiteral("-c"),
           QStringLiteral("-n"),
           QStringLiteral("-m"),
           QStringLiteral("sources"),
           QStringLiteral("sourcestats"),
           QStringLiteral("tracking"),
           QStringLiteral("selectdata"),
           QStringLiteral("activity"),
           QStringLiteral("authdata")}},
         SourceParsers::chrony},
    };
}

static ServiceTools::Service ntpsec()
{
    const ServiceTools::Command variables{Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("rv")}};
    return {
        {variables, StateParsers::ntpqVariables},
        {variables, answerOf<StateParsers::ntpqVariables>},
        {{Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-w"), QStringLiteral("-c"), QStringLiteral("peers")}}, SourceParsers::ntpq},
    };
}

static ServiceTools::Service openntpd()
{
    const ServiceTools::Command peers{Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("peers")}};
    return {
        // Its peers tell which one it follows.
        {peers,
         [](const QByteArray &output) {
             return StateParsers::ntpctlFollowed(SourceParsers::ntpctl(output).rows, QDateTime::currentDateTimeUtc());
         }},
        // Whether the clock is synchronized: openntpd says it in its status.
        {{Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("status")}}, StateParsers::ntpctlStatus},
        {peers, SourceParsers::ntpctl},
    };
}

const ServiceTools::Service *ServiceTools::of(PackageIndex service)
{
    static const Service chronyTools = chrony();
    static const Service ntpsecTools = ntpsec();
    static const Service openntpdTools = openntpd();
    switch (service) {
    case ChronyPackage:
        return &chronyTools;
    case NtpsecPackage:
        return &ntpsecTools;
    case OpenntpdPackage:
        return &openntpdTools;
    case TimesyncdPackage:
        break;
    }
    return nullptr;
}
