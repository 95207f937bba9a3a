// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "common/programs.h"
#include "logictypes.h"

#include <QStringList>

// The command lines of the services' own tools, each read by one parser in
// stateparsers.h or sourceparsers.h. -n everywhere: a slow resolver must not
// cost an answer its time limit. timesyncd has no tool: it answers on the bus.
namespace ServiceTools
{
struct Command {
    QString program;
    QStringList arguments;
};

inline Command tracking(PackageIndex service)
{
    switch (service) {
    case ChronyPackage:
        return {Programs::chronyc(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("tracking")}};
    case NtpsecPackage:
        return {Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("rv")}};
    default:
        // openntpd: its peers tell which one it follows.
        return {Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("peers")}};
    }
}

// Whether the clock is synchronized: openntpd says it in its status.
inline Command status(PackageIndex service)
{
    return service == OpenntpdPackage ? Command{Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("status")}} : tracking(service);
}

inline Command sources(PackageIndex service)
{
    switch (service) {
    case ChronyPackage:
        // -m: every command in one run, one program started a refresh; the
        // diagnosis reads the rest (Diagnosis::parseChrony). chronyc stops
        // at the first that fails, so the table's come first.
        return {Programs::chronyc(),
                {QStringLiteral("-c"),
                 QStringLiteral("-n"),
                 QStringLiteral("-m"),
                 QStringLiteral("sources"),
                 QStringLiteral("sourcestats"),
                 QStringLiteral("tracking"),
                 QStringLiteral("selectdata"),
                 QStringLiteral("activity"),
                 QStringLiteral("authdata")}};
    case NtpsecPackage:
        return {Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-w"), QStringLiteral("-c"), QStringLiteral("peers")}};
    default:
        return {Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("peers")}};
    }
}
}
