// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "authhelper/authwriter.h"

#include "authhelper/writerequest.h"
#include "common/nestedwait.h"
#include "common/releasecompat.h"
#include "config/safefile.h"
#include "zeladmintime_debug.h"

#include <KAuth/ActionReply>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDataStream>
#include <QIODevice>
#include <QElapsedTimer>
#include <QWidget>

namespace AuthWriter
{
// The helper refuses requests older than WriteRequest::validityMs and ends a
// request it still holds a little later; waiting a minute more means the
// reply, or its absence, is final.
static constexpr int helperTimeoutMs = WriteRequest::validityMs + 60 * 1000;
// Another request (another window's save) usually ends within seconds.
static constexpr qint64 busyRetryMs = 20 * 1000;
static constexpr int busyPauseMs = 500;

// The KDE authentication agent puts its dialog over the window it is told.
static void parentAgentDialog(QWidget *window)
{
    const QString agent = QStringLiteral("org.kde.polkit-kde-authentication-agent-1");
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!window || !session.isConnected() || !session.interface()->isServiceRegistered(agent)) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(agent,
                                                       QStringLiteral("/org/kde/Polkit1AuthAgent"),
                                                       QStringLiteral("org.kde.Polkit1AuthAgent"),
                                                       QStringLiteral("setWIdForAction"));
    call << QString::fromLatin1(WriteRequest::actionId) << qulonglong(window->effectiveWinId());
    session.asyncCall(call);
}

// One call of the helper's performAction, as KAuth's own client makes it,
// but read from the call's reply: KAuth's client waits for the helper's
// broadcast instead, and a busy helper sends none.
static KAuth::ActionReply callHelper(const QVariantMap &arguments, bool *noAnswer)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        KAuth::ActionReply reply = KAuth::ActionReply::DBusErrorReply();
        reply.setErrorDescription(bus.lastError().message());
        return reply;
    }
    bus.interface()->startService(QString::fromLatin1(WriteRequest::helperId));
    QByteArray blob;
    {
        QDataStream stream(&blob, QIODevice::WriteOnly);
        stream << arguments;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(WriteRequest::helperId),
                                                       QStringLiteral("/"),
                                                       ReleaseCompat::kauthHelperInterface(),
                                                       QStringLiteral("performAction"));
    ReleaseCompat::addHelperCallArguments(call, QString::fromLatin1(WriteRequest::actionId), bus.baseService().toUtf8(), blob);
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, helperTimeoutMs));
    NestedWait wait(&watcher);
    wait.quitOn(&watcher, &QDBusPendingCallWatcher::finished);
    if (!watcher.isFinished()) {
        wait.exec();
    }
    const QDBusMessage reply = watcher.reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        // No reply in time, or the helper went away (ended) without one.
        *noAnswer = name == QLatin1String("org.freedesktop.DBus.Error.NoReply") || name == QLatin1String("org.freedesktop.DBus.Error.Timeout");
        KAuth::ActionReply failed = KAuth::ActionReply::DBusErrorReply();
        failed.setErrorDescription(reply.errorMessage());
        return failed;
    }
    return KAuth::ActionReply::deserialize(reply.arguments().value(0).toByteArray());
}

bool write(const QString &root, const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, FileError *error)
{
    // The helper refuses the same; asking for a password first would be rude.
    if (!WriteRequest::validate(systemPath, content, error)) {
        return false;
    }
    SafeFile::Snapshot before;
    FileError readError;
    const bool readBefore = SafeFile::read(root, systemPath, &before, &readError);
    if (readBefore && before.hash() == expectedHash && !WriteRequest::keepsGuardedLines(systemPath, before.content, content, error)) {
        return false;
    }
    parentAgentDialog(window);
    bool noAnswer = false;
    QElapsedTimer busySince;
    KAuth::ActionReply reply;
    for (;;) {
        reply = callHelper(WriteRequest::arguments(systemPath, content, expectedHash), &noAnswer);
        if (reply.type() != KAuth::ActionReply::KAuthErrorType || reply.errorCode() != KAuth::ActionReply::HelperBusyError) {
            break;
        }
        if (!busySince.isValid()) {
            busySince.start();
        } else if (busySince.elapsed() > busyRetryMs) {
            break;
        }
        QObject anchor;
        NestedWait(&anchor).exec(busyPauseMs);
    }
    if (reply.succeeded()) {
        return true;
    }
    // A reply lost on the way does not mean nothing was written: the file
    // decides what the window reports.
    SafeFile::Snapshot after;
    if (readBefore && before.content != content && SafeFile::read(root, systemPath, &after, &readError) && after.exists && after.content == content) {
        return true;
    }
    qCWarning(ZELADMINTIME_LOG).noquote() << "The helper did not write" << systemPath << reply.errorCode() << reply.errorDescription();
    const int code = reply.errorCode();
    if (reply.type() == KAuth::ActionReply::HelperErrorType) {
        *error = FileError::fromMap(reply.data());
        error->path = systemPath;
        if (error->kind == FileError::HelperFailed && error->detail.isEmpty()) {
            error->detail = reply.errorDescription();
        }
    } else if (code == KAuth::ActionReply::AuthorizationDeniedError || code == KAuth::ActionReply::UserCancelledError) {
        *error = FileError(FileError::NotAuthorized, systemPath);
    } else if (code == KAuth::ActionReply::HelperBusyError) {
        *error = FileError(FileError::HelperBusy, systemPath);
    } else if (noAnswer) {
        *error = FileError(FileError::HelperNoAnswer, systemPath);
    } else {
        *error = FileError(FileError::HelperFailed, systemPath, code, reply.errorDescription());
    }
    return false;
}
}
