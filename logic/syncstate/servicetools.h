// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"
#include "syncstate/sourceparsers.h"
#include "syncstate/stateparsers.h"

#include <QStringList>

// What each service's own tools are asked, and the parser that reads each
// answer: one record a service, so that a command and its reader cannot part.
// A new question is a new Tool member, filled in for the services that have
// it; a service without it leaves it empty (`read` null).
namespace ServiceTools
{
struct Command {
    QString program;
    QStringList arguments;
};

// One question: the command line, and what reads its standard output.
template<typename Reading>
struct Tool {
    Command command;
    Reading (*read)(const QByteArray &output) = nullptr;
};

struct Service {
    // When, and against which server, the clock was last synchronized.
    Tool<SyncState> tracking;
    // Whether the clock is synchronized now.
    Tool<SyncState::Answer> status;
    // The Sources table; chrony's answer also feeds its diagnosis
    // (Diagnosis::parseChrony).
    Tool<SourcesReport> sources;
};

// The tools of chrony, ntpsec and openntpd; null for timesyncd, which has
// none: it answers on the bus (TimesyncdReader).
const Service *of(PackageIndex service);
}
