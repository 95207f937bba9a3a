// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"
#include "syncstate/stateparsers.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

class TimesyncdReader;
class ToolRunner;

// Finds when, and against which server, the active service last set the
// clock. One request at a time; each is answered once, from the event loop,
// by received() or timedOut(). Answers that come after the time-out are
// dropped.
class LastSyncReader : public QObject
{
    Q_OBJECT

public:
    explicit LastSyncReader(const QDBusConnection &bus, QObject *parent = nullptr);
    ~LastSyncReader() override;

    // serviceName is the catalog name of the active service, empty when none
    // is active. False, and nothing new is asked, while a request is still
    // outstanding: its answer serves this caller too.
    bool request(const QString &serviceName, int timeoutMs);
    bool isBusy() const
    {
        return m_busy;
    }

    // Display texts in the user's locale; an empty server when nothing is known.
    static LastSynchroInfo toInfo(const SyncState &state);

Q_SIGNALS:
    void received(const LastSynchroInfo &info);
    void timedOut();

private:
    void answer(quint64 serial, const SyncState &state);
    void onTimeout();
    void cancel();

    ToolRunner *m_runner;
    TimesyncdReader *m_timesyncd;
    QTimer m_timer;
    quint64 m_serial = 0;
    bool m_busy = false;
};
