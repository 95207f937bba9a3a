// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/fileerror.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// A request to the helper to write one configuration file as root. The
// helper trusts nothing in it: the path must be one of the catalog's
// configuration files, and the content must be a file its service reads
// with valid server names only, naming no file or program the file on disk
// does not already name.
namespace WriteRequest
{
// The helper's D-Bus id and its one action.
inline constexpr char helperId[] = "org.kde.kcontrol.kcmzeladmintime";
inline constexpr char actionId[] = "org.kde.kcontrol.kcmzeladmintime.writeconfig";

// Larger than any real configuration by far.
constexpr int maxContentSize = 256 * 1024;

// How long a request stays good: long enough for a person to read the
// authentication dialog and type a password. The caller waits a little
// longer; a request that reaches the helper later is refused.
constexpr qint64 validityMs = 10 * 60 * 1000;

QVariantMap arguments(const QString &path, const QByteArray &content, const QByteArray &expectedHash);

// Whether the helper may write `content` to `path`; `error` says why not.
bool validate(const QString &path, const QByteArray &content, FileError *error);

// Whether `content` may replace `oldContent`, the file on disk: every line
// that names a file, folder, device, socket, program, key, user or further
// configuration must be one the file already has. `error` names the first
// line that is not.
bool keepsGuardedLines(const QString &path, const QByteArray &oldContent, const QByteArray &content, FileError *error);

// Checks the arguments, then writes the file under `root` ("" or "/" on
// the machine) safely, refusing when it changed since the caller read it.
bool execute(const QVariantMap &arguments, const QString &root, FileError *error);
}
