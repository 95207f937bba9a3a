// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/fileerror.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Reading a configuration file and replacing it so that, whatever happens,
// the file on disk is either the old one whole or the new one whole.
namespace SafeFile
{
// Larger than any real configuration by far: a larger file is refused
// unread rather than held in memory and parsed.
constexpr int maxSize = 1024 * 1024;

// A file as it was read: what a later write compares against.
struct Snapshot {
    bool exists = false;
    bool tooLarge = false; // refused for its size, not read
    QByteArray content;

    // Hex SHA-256 of the content; empty for a file that does not exist.
    QByteArray hash() const;
};

QByteArray hashOf(const QByteArray &content);

// `path` is an absolute path inside the system root `root` ("" or "/" for
// the machine's own): every link on the way, and a link at the path itself,
// is followed as if `root` were "/", so nothing outside it is read or
// written. Where the kernel cannot resolve that way, a link that leads out
// of the root is refused instead. Errors name `path`.

// A missing file is a snapshot that does not exist, not an error. A file
// larger than maxSize is an error (TooLarge), its snapshot marked tooLarge.
bool read(const QString &root, const QString &path, Snapshot *snapshot, FileError *error);

// Replaces the file at `path` (a symbolic link: the file it points to) by
// `content`: a new file in the same folder, written, given the old file's
// mode and owner, flushed to disk, then renamed over the old one. The file
// must still hold what was read: `expectedHash` is the hash of that content
// (empty when the file did not exist); when it differs nothing is written.
// On any failure the old file stays as it was. `beforeRename`, for tests,
// is called once the new file is flushed and before it is renamed.
bool write(const QString &root,
           const QString &path,
           const QByteArray &content,
           const QByteArray &expectedHash,
           FileError *error,
           const std::function<void()> &beforeRename = {});
}
