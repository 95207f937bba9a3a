// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "authhelper/authwriter.h"

#include "authhelper/writerequest.h"
#include "common/releasecompat.h"
#include "common/sysroot.h"
#include "config/safefile.h"

#include <KAuth/Action>
#include <KAuth/ActionReply>
#include <KAuth/ExecuteJob>

namespace AuthWriter
{
// The helper refuses requests older than WriteRequest::validityMs; waiting a
// minute more means the reply, or its absence, is final.
static constexpr int helperTimeoutMs = WriteRequest::validityMs + 60 * 1000;

bool write(const QString &root, const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, QString *error)
{
    // The helper refuses the same; asking for a password first would be rude.
    if (!WriteRequest::validate(systemPath, content, error)) {
        return false;
    }
    SafeFile::Snapshot before;
    QString readError;
    const bool readBefore = SafeFile::read(SysRoot::path(root, systemPath), &before, &readError);
    if (readBefore && before.hash() == expectedHash && !WriteRequest::keepsGuardedLines(systemPath, before.content, content, error)) {
        return false;
    }
    KAuth::Action action(QString::fromLatin1(WriteRequest::actionId));
    action.setHelperId(QString::fromLatin1(WriteRequest::helperId));
    action.setArguments(WriteRequest::arguments(systemPath, content, expectedHash));
    action.setTimeout(helperTimeoutMs);
    if (window) {
        ReleaseCompat::setAuthParent(action, window);
    }
    KAuth::ExecuteJob *job = action.execute();
    if (job->exec()) {
        return true;
    }
    // A reply lost on the way does not mean nothing was written: the file
    // decides what the window reports.
    SafeFile::Snapshot after;
    if (readBefore && before.content != content && SafeFile::read(SysRoot::path(root, systemPath), &after, &readError) && after.exists
        && after.content == content) {
        return true;
    }
    if (job->error() == KAuth::ActionReply::AuthorizationDeniedError || job->error() == KAuth::ActionReply::UserCancelledError) {
        *error = QStringLiteral("Cannot write %1: not authorized (%2)").arg(systemPath, job->errorString());
        return false;
    }
    const QString reason = job->errorText().isEmpty() ? job->errorString() : job->errorText();
    *error = QStringLiteral("Cannot write %1: %2").arg(systemPath, reason.isEmpty() ? QStringLiteral("the helper failed") : reason);
    return false;
}
}
