// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class TimesyncdReader;
class ToolRunner;

// Whether a running service has synchronized the clock, as the service itself
// tells. The answers come from programs and bus calls that run in the
// background; asking returns the last answer at once.
class SyncStatus : public QObject
{
    Q_OBJECT

public:
    explicit SyncStatus(const QDBusConnection &bus, QObject *parent = nullptr);
    ~SyncStatus() override;

    // The last answer (false until there is one); asks again in the
    // background when it is older than maxAgeMs.
    bool isSynchronized(PackageIndex service, int maxAgeMs = 2000);
    // The service started or stopped: earlier answers no longer hold.
    void forget(PackageIndex service);
    void refresh(PackageIndex service);
    bool isProbing(PackageIndex service) const;

private:
    struct Entry {
        bool synchronized = false;
        bool answered = false;
        bool probing = false;
        quint64 generation = 0;
        QElapsedTimer answeredAt;
    };

    void answer(PackageIndex service, quint64 generation, bool synchronized);

    QHash<int, Entry> m_entries;
    QHash<int, ToolRunner *> m_runners;
    TimesyncdReader *m_timesyncd;
};
