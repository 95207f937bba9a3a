// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QByteArray>
#include <QStringList>

// The configuration file format of each service of the catalog.
namespace ConfigFormat
{
// Why these bytes must not become the service's configuration file: a
// server name that is not a host name or address, a server line without an
// address, a NUL byte. Empty when they may.
QStringList problems(PackageIndex service, const QByteArray &bytes);
// Whether the settings page or the settings dialog could have written this
// line (one logical line, without its end).
bool isEditableLine(PackageIndex service, const QByteArray &text);
// The servers the file names, in file order.
QStringList serverNames(PackageIndex service, const QByteArray &bytes);
}
