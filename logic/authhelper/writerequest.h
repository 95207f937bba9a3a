// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/fileerror.h"
#include "config/safefile.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// A request to the helper to write one configuration file as root. The
// helper trusts nothing in it: the path must be one of the catalog's
// configuration files, and every line the content adds or changes must be
// one the settings pages or the settings dialog write.
namespace WriteRequest
{
// The helper's D-Bus id and its one action.
inline constexpr char helperId[] = "org.kde.kcontrol.kcmzeladmintime";
inline constexpr char actionId[] = "org.kde.kcontrol.kcmzeladmintime.writeconfig";

// Larger than any real configuration by far.
constexpr int maxContentSize = SafeFile::maxSize;

// How long a request stays good: long enough for a person to read the
// authentication dialog and type a password. The caller waits a little
// longer; a request that reaches the helper later is refused.
constexpr qint64 validityMs = 10 * 60 * 1000;

QVariantMap arguments(const QString &path, const QByteArray &content, const QByteArray &expectedHash);

// Whether the helper may write `content` to `path`; `error` says why not.
bool validate(const QString &path, const QByteArray &content, FileError *error);

// Whether `content` may replace `oldContent`, the file on disk: every line
// it adds or changes must be one the settings pages or the settings dialog
// write (their directives and options, with values of their form); lines
// may go. `error` names the first line that is neither.
bool keepsGuardedLines(const QString &path, const QByteArray &oldContent, const QByteArray &content, FileError *error);

// Checks the arguments, then writes the file under `root` ("" or "/" on
// the machine) safely, refusing when it changed since the caller read it.
bool execute(const QVariantMap &arguments, const QString &root, FileError *error);
}
