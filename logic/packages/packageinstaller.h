// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

class QObject;

// Installs or removes a package through Synaptic, which asks for the
// administrator's password itself.
namespace PackageInstaller
{
enum class Action { Install, Remove };

// Runs synaptic-pkexec with a one-line selections file and waits for it in a
// nested event loop, so the caller's window keeps painting. False when the
// program could not be started or ended with a failure (authorization
// refused or cancelled, a failed apt run); the cause goes to the log. False
// at once, without waiting further, when `owner` goes away meanwhile.
bool run(const QString &package, Action action, unsigned long long parentWindowId, const QObject *owner);
}
