// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QStringList>

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

// configured, then history, then the Debian pool: valid addresses only, each
// once (names compared without regard to case or a trailing dot).
QStringList merged(const QStringList &configured, const QStringList &history);
}
