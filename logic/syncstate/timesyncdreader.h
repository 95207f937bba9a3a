// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "syncstate/sourceparsers.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <functional>

class QDBusPendingCallWatcher;

// Reads timesyncd's manager object in the background, with a time limit,
// without ever starting timesyncd. One read at a time; its answer comes once
// from the event loop and never after cancel().
class TimesyncdReader : public QObject
{
    Q_OBJECT

public:
    // error is the bus's message, empty when the properties were read.
    using Done = std::function<void(const TimesyncdSources &properties, const QString &error)>;

    explicit TimesyncdReader(const QDBusConnection &bus, QObject *parent = nullptr);
    ~TimesyncdReader() override;

    void read(int limitMs, Done done);
    void cancel();

    // timesyncd is not on this bus (not running, or an older one).
    bool wasAbsent() const
    {
        return m_absent;
    }

private:
    QDBusConnection m_bus;
    QPointer<QDBusPendingCallWatcher> m_watcher;
    bool m_absent = false;
};
