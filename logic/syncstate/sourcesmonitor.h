// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"
#include "logictypes.h"
#include "syncstate/sourceparsers.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QDBusPendingCallWatcher;
class TimedatedReader;
class TimesyncdReader;
class ToolRunner;

// Reads a service's time sources every two seconds while it is watched:
// first whether its unit is active, then its own tool or its bus object.
// Everything is asynchronous with a time limit; nothing is asked while not
// watched, and nothing that needs name resolution or privileges.
class SourcesMonitor : public QObject
{
    Q_OBJECT

public:
    enum class Status { Reading, Shown, NotActive, Failed };

    SourcesMonitor(PackageIndex service, const QDBusConnection &bus, QObject *parent = nullptr);
    ~SourcesMonitor() override;

    // The page is visible: read now and every interval until it is not.
    void setWatching(bool watching);
    bool isWatching() const
    {
        return m_watching;
    }
    // Bus calls and programs started so far.
    int queries() const
    {
        return m_queries;
    }
    void setInterval(int milliseconds);
    // timesyncd's last answer, for the servers' origins.
    const TimesyncdSources &timesyncdProperties() const
    {
        return m_properties;
    }

    static constexpr int timeLimit = 5000;

Q_SIGNALS:
    void updated(SourcesMonitor::Status status, const QVector<SourceRow> &rows, const QString &error);
    // Right after each update: what it means for the clock.
    void diagnosed(const Finding &finding);

private Q_SLOTS:
    void timesyncdChanged();

private:
    void tick();
    void readSources();
    void answer(quint64 serial, Status status, const QVector<SourceRow> &rows = {}, const QString &error = {});
    void cancel();
    void subscribe(bool on);

    const PackageIndex m_service;
    QDBusConnection m_bus;
    QTimer m_interval;
    QTimer m_limit;
    bool m_watching = false;
    bool m_busy = false;
    bool m_subscribed = false;
    quint64 m_serial = 0;
    ChronyState m_chrony;
    TimesyncdSources m_properties;
    QStringList m_others; // the other services' units that are active
    bool m_installed = true;
    int m_queries = 0;
    ToolRunner *m_runner;
    TimesyncdReader *m_timesyncd;
    TimedatedReader *m_timedated;
    QPointer<QDBusPendingCallWatcher> m_watcher;
};
