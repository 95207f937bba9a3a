// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "lastsyncparsers.h"
#include "logictypes.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QDBusPendingCallWatcher;
class QProcess;

// Finds when, and against which server, the active service last set the
// clock. One request at a time; each is answered once, from the event loop,
// by received() or timedOut(). Answers that come after the time-out are
// dropped.
class LastSyncReader : public QObject
{
    Q_OBJECT

public:
    explicit LastSyncReader(QObject *parent = nullptr);
    ~LastSyncReader() override;

    // serviceName is the catalog name of the active service, empty when none
    // is active. False, and nothing new is asked, while a request is still
    // outstanding: its answer serves this caller too.
    bool request(const QString &serviceName, int timeoutMs);
    bool isBusy() const;

    // Where timesyncd is asked; the system bus unless told otherwise.
    void setBus(const QDBusConnection &bus);

    // Display texts in the user's locale; an empty server when nothing is known.
    static LastSynchroInfo toInfo(const LastSyncRecord &record);

Q_SIGNALS:
    void received(const LastSynchroInfo &info);
    void timedOut();

private:
    void askTimesyncd();
    void runTool(const QString &tool, const QStringList &arguments, std::function<LastSyncRecord(const QString &)> parse);
    void answer(quint64 serial, const LastSyncRecord &record);
    void answerLater(const LastSyncRecord &record);
    void onTimeout();
    void cleanUp();

    QDBusConnection m_bus;
    QTimer m_timer;
    quint64 m_serial = 0;
    bool m_busy = false;
    QPointer<QProcess> m_process;
    QPointer<QDBusPendingCallWatcher> m_watcher;
};
