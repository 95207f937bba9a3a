// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

// Whether a running service has synchronized the clock, as the service itself
// tells. The answers come from programs and D-Bus calls that run in the
// background; asking returns the last answer at once.
class SyncStatus : public QObject
{
    Q_OBJECT

public:
    explicit SyncStatus(QObject *parent = nullptr);
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

    void runTool(PackageIndex service, const QString &program, const QStringList &arguments, quint64 generation);
    void askTimesyncd(quint64 generation);
    void answer(PackageIndex service, quint64 generation, bool synchronized);
    static bool kernelSynchronized();

    QHash<int, Entry> entries;
};
