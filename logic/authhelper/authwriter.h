// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/fileerror.h"

#include <QByteArray>
#include <QString>

class QWidget;

// Writing a configuration file without being root: through the KAuth
// helper, after the administrator's authorization.
namespace AuthWriter
{
// Waits for the helper (the event loop keeps running meanwhile). `root` is
// the system root the file is read under to check the outcome.
bool write(const QString &root, const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, FileError *error);
}
