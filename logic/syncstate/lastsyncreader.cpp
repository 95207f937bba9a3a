// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/lastsyncreader.h"

#include "catalog/servicecatalog.h"
#include "syncstate/servicetools.h"
#include "syncstate/timesyncdreader.h"
#include "syncstate/toolrunner.h"
#include "zeladmintime_debug.h"

#include <QLocale>

LastSyncReader::LastSyncReader(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_runner(new ToolRunner(this))
    , m_timesyncd(new TimesyncdReader(bus, this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LastSyncReader::onTimeout);
}

LastSyncReader::~LastSyncReader() = default;

LastSynchroInfo LastSyncReader::toInfo(const SyncState &state)
{
    LastSynchroInfo info;
    if (!state.isKnown()) {
        return info;
    }
    const QDateTime local = state.when.toLocalTime();
    const QLocale locale;
    info.date = locale.toString(local.date(), QLocale::ShortFormat);
    info.time = locale.toString(local.time(), QLocale::ShortFormat);
    info.server = state.server;
    return info;
}

bool LastSyncReader::request(const QString &serviceName, int timeoutMs)
{
    if (m_busy) {
        return false;
    }
    m_busy = true;
    const quint64 serial = ++m_serial;
    m_timer.start(qMax(0, timeoutMs));

    const ServiceDescription *service = ServiceCatalog::byServiceName(serviceName);
    if (!service) {
        // No active service: nothing to tell, which is an answer, not a time-out.
        QTimer::singleShot(0, this, [this, serial] {
            answer(serial, {});
        });
        return true;
    }
    const PackageIndex index = service->index;
    if (index == TimesyncdPackage) {
        m_timesyncd->read(qMax(0, timeoutMs) + 1000, [this, serial](const TimesyncdSources &properties, const QString &error) {
            if (!error.isEmpty()) {
                qCWarning(ZELADMINTIME_LOG) << "timesyncd did not answer:" << error;
            }
            answer(serial, StateParsers::timesyncd(properties));
        });
        return true;
    }
    const ServiceTools::Tool<SyncState> tool = ServiceTools::of(index)->tracking;
    // The time limit is this reader's own; the runner's is only a backstop.
    m_runner->run(tool.command.program, tool.command.arguments, qMax(0, timeoutMs) + 1000, [this, serial, tool](const ToolOutput &result) {
        SyncState state;
        if (!result.succeeded()) {
            qCWarning(ZELADMINTIME_LOG) << tool.command.program << "failed:" << result.error;
        } else {
            state = tool.read(result.output);
        }
        answer(serial, state);
    });
    return true;
}

void LastSyncReader::answer(quint64 serial, const SyncState &state)
{
    // A late answer to a request that timed out, or to an older one.
    if (!m_busy || serial != m_serial) {
        return;
    }
    m_busy = false;
    m_timer.stop();
    cancel();
    Q_EMIT received(toInfo(state));
}

void LastSyncReader::onTimeout()
{
    if (!m_busy) {
        return;
    }
    m_busy = false;
    cancel();
    qCWarning(ZELADMINTIME_LOG) << "no last-synchronization info in time";
    Q_EMIT timedOut();
}

void LastSyncReader::cancel()
{
    m_runner->cancel();
    m_timesyncd->cancel();
}
