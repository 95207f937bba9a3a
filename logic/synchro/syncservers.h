// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QStringList>

class QDBusConnection;

// The servers offered for a one-off synchronization.
namespace SyncServers
{
// How many addresses used before are kept.
constexpr int HistorySize = 10;

// The Debian pool, the last resort of the list.
QStringList debianPool();

// Addresses used before, most recent first, from the library's own settings.
QStringList history();
// Puts a valid address at the head of the history; anything else is ignored.
void remember(const QString &address);

// The source `service` follows now, as its own tool or bus object says: its
// name where the service knows one, else its address. Empty when the service
// is not running, follows none, or does not say within timeoutMs; meanwhile
// the event loop runs.
QString followed(PackageIndex service, const QDBusConnection &bus, int timeoutMs);

// configured, then history, then the Debian pool: valid addresses only, each
// once (names compared without regard to case or a trailing dot).
QStringList merged(const QStringList &configured, const QStringList &history);
}
