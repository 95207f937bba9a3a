// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>
#include <QVariantMap>

// Why a configuration file could not be read or written: made where the
// failure happens (the safe writer, the helper, the library's side of the
// helper) and carried as it is to where the user is told. Only the place
// that shows it turns it into words.
struct FileError {
    enum Kind {
        None,
        // The file system said no: `code` is the errno.
        ReadFailed,
        WriteFailed,
        NotRegularFile,
        // A link at the path, or a folder on the way, leads out of the
        // system root.
        LeavesRoot,
        // The file is not what was read: someone else changed it.
        ChangedOnDisk,
        // The request itself: not a time service's file, too large, not
        // valid for its service (`detail`: the problems), a line the helper
        // may not write (`code`: its number, `detail`: the line) or one
        // longer than its daemon reads (`code`: its number), too old or
        // malformed.
        NotConfigFile,
        TooLarge,
        InvalidContent,
        RefusedLine,
        LineTooLong,
        TooLate,
        Malformed,
        // The helper and polkit.
        NotAuthorized,
        HelperBusy,
        HelperNoAnswer,
        // Any other failure of the helper: `detail` is KAuth's text.
        HelperFailed,
    };

    Kind kind = None;
    int code = 0;
    QString detail;
    // The file as the user knows it (not mapped into a system root).
    QString path;

    FileError() = default;
    FileError(Kind kind, const QString &path, int code = 0, const QString &detail = QString())
        : kind(kind)
        , code(code)
        , detail(detail)
        , path(path)
    {
    }

    bool isError() const
    {
        return kind != None;
    }

    // For the log: English, with everything the error carries.
    QString toString() const;

    // As the helper's reply carries it; an unknown or missing kind reads
    // back as HelperFailed.
    QVariantMap toMap() const;
    static FileError fromMap(const QVariantMap &map);
};
