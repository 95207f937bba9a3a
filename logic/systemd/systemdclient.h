// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "systemd/unitstate.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QQueue>

#include <memory>

class QDBusObjectPath;
class NestedWait;
class OrgFreedesktopSystemd1ManagerInterface;
class OrgFreedesktopDBusPropertiesInterface;

// systemd's manager over D-Bus, for a fixed set of units whose state it keeps
// current from systemd's signals, so that reading it costs no round trip.
class SystemdClient : public QObject
{
    Q_OBJECT

public:
    enum class Job { Start, Stop, Restart };

    struct JobOutcome {
        enum Kind {
            Done, // the job ended "done"
            JobFailed, // the job ended with another result, in jobResult
            CallFailed, // systemd refused the call: error
            NoJobEnd, // systemd did not report the job's end in time
            Unreachable, // systemd is not on the bus
            NotAnswering, // the name is owned, but the manager does not answer
            NoSignals, // the job's end could not be followed: error
        };
        Kind kind = Unreachable;
        QString jobResult;
        QDBusError error;
    };

    SystemdClient(const QStringList &unitNames, const QDBusConnection &bus, QObject *parent = nullptr);
    ~SystemdClient() override;

    // A blocking property read with a short time-out; remembers the answer
    // for isReachable().
    bool ping(int timeoutMs);
    // Whether the last ping or command check is younger than maxAgeMs.
    bool checkedRecently(int maxAgeMs) const;
    // False once systemd did not answer; calls then return at once.
    bool isReachable() const
    {
        return m_reachable;
    }

    // Reads every unit's state afresh; returns within timeoutMs.
    void refreshAll(int timeoutMs);
    UnitState unit(const QString &unitName) const;

    // Each runs a nested event loop until systemd is done; the caller must
    // expect anything to happen meanwhile, including its own deletion.
    JobOutcome runJob(Job job, const QString &unitName);
    bool setUnitFileEnabled(const QString &unitName, bool enabled, QDBusError *error);

    static QString unitObjectPath(const QString &unitName);

Q_SIGNALS:
    // A unit went from active to inactive or back, or anything else changed.
    void unitActivityChanged(const QString &unitName);

private:
    void connectSignals();
    // Before a command: a property read within a few seconds, in a nested
    // event loop.
    bool answersNow();
    void noteLiveness(const QDBusMessage &reply);
    void onJobRemoved(uint id, const QDBusObjectPath &job, const QString &unitName, const QString &result);
    void onPropertiesChanged(const QString &unitName, const QString &interfaceName, const QVariantMap &changed, const QStringList &invalidated);
    void fetchAsync(const QString &unitName);
    void refreshUnit(const QString &unitName);
    void fetchAllAsync();
    void applyProperties(const QString &unitName, const QVariantMap &properties);
    // waitedForUser: the call allowed polkit to ask, so a missing answer
    // may be the user's, not systemd's.
    void noteError(const QDBusError &error, bool waitedForUser = false);
    QDBusMessage callAndWait(const QDBusMessage &message, int timeoutMs);

    QDBusConnection m_connection;
    QStringList m_unitNames;
    QHash<QString, UnitState> m_units;
    bool m_reachable = true;
    bool m_subscribed = false;
    QDBusError m_subscribeError;
    QElapsedTimer m_lastLiveness;
    QDBusError m_livenessError;
    OrgFreedesktopSystemd1ManagerInterface *m_manager = nullptr;
    QList<OrgFreedesktopDBusPropertiesInterface *> m_unitProxies;

    // JobRemoved may come before the reply that names the job.
    QHash<QString, QString> m_finishedJobs;
    QQueue<QString> m_finishedOrder;
    QMultiHash<QString, NestedWait *> m_jobWaiters;
};
