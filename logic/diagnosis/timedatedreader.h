// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

class QDBusPendingCallWatcher;

// Reads what the desktop's "set time automatically" switch would do:
// timedated's NTP, CanNTP and NTPSynchronized, and the ntp-units.d lists.
// Only properties are read; its setters are never called. The answer comes
// from the event loop, at the latest after the time limit.
class TimedatedReader : public QObject
{
    Q_OBJECT

public:
    explicit TimedatedReader(const QDBusConnection &bus, QObject *parent = nullptr);
    ~TimedatedReader() override;

    // Asks unless a question is still open; the last answer meanwhile.
    void read(int limitMs);
    void cancel();
    const DesktopSwitch &last() const
    {
        return m_last;
    }

Q_SIGNALS:
    void answered();

private:
    QDBusConnection m_bus;
    QPointer<QDBusPendingCallWatcher> m_watcher;
    DesktopSwitch m_last;
};
