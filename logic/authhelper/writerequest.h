// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// A request to the helper to write one configuration file as root. The
// helper trusts nothing in it: the path must be one of the catalog's
// configuration files, and the content must be a file its service reads
// with valid server names only.
namespace WriteRequest
{
// The helper's D-Bus id and its one action.
inline constexpr char helperId[] = "org.kde.kcontrol.kcmzeladmintime";
inline constexpr char actionId[] = "org.kde.kcontrol.kcmzeladmintime.writeconfig";

// Larger than any real configuration by far.
constexpr int maxContentSize = 256 * 1024;

QVariantMap arguments(const QString &path, const QByteArray &content, const QByteArray &expectedHash);

// Whether the helper may write `content` to `path`; `error` says why not.
bool validate(const QString &path, const QByteArray &content, QString *error);

// Checks the arguments, then writes the file under `root` ("" or "/" on
// the machine) safely, refusing when it changed since the caller read it.
bool execute(const QVariantMap &arguments, const QString &root, QString *error);
}
