// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/syncstatus.h"

#include "syncstate/servicetools.h"
#include "syncstate/stateparsers.h"
#include "syncstate/timesyncdreader.h"
#include "syncstate/toolrunner.h"

#include <QFileInfo>

#include <sys/timex.h>

static constexpr int toolTimeoutMs = 5000;

// The kernel knows whether someone keeps the clock synchronized.
static bool kernelSynchronized()
{
    struct timex tx = {};
    tx.modes = 0; // read only
    return adjtimex(&tx) >= 0 && StateParsers::kernelClock(tx.status, tx.maxerror) == SyncState::Synchronized;
}

SyncStatus::SyncStatus(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_timesyncd(new TimesyncdReader(bus, this))
{
}

SyncStatus::~SyncStatus() = default;

bool SyncStatus::isSynchronized(PackageIndex service, int maxAgeMs)
{
    Entry &entry = m_entries[service];
    if (!entry.probing && (!entry.answered || entry.answeredAt.elapsed() > maxAgeMs)) {
        refresh(service);
    }
    return m_entries[service].answered && m_entries[service].synchronized;
}

void SyncStatus::forget(PackageIndex service)
{
    Entry &entry = m_entries[service];
    entry.answered = false;
    entry.synchronized = false;
    entry.probing = false; // an answer still on its way is for the old run
    ++entry.generation;
}

bool SyncStatus::isProbing(PackageIndex service) const
{
    return m_entries.value(service).probing;
}

void SyncStatus::refresh(PackageIndex service)
{
    Entry &entry = m_entries[service];
    if (entry.probing) {
        return;
    }
    entry.probing = true;
    const quint64 generation = entry.generation;

    if (service == TimesyncdPackage) {
        m_timesyncd->read(toolTimeoutMs, [this, generation](const TimesyncdSources &properties, const QString &error) {
            // Not on this bus (an older timesyncd, or another bus): the kernel tells.
            const bool synchronized =
                error.isEmpty() ? StateParsers::timesyncd(properties).answer == SyncState::Synchronized : m_timesyncd->wasAbsent() && kernelSynchronized();
            answer(TimesyncdPackage, generation, synchronized);
        });
        return;
    }
    const ServiceTools::Tool<SyncState::Answer> tool = ServiceTools::of(service)->status;
    if (!QFileInfo(tool.command.program).isExecutable()) {
        // The service has no status tool here.
        answer(service, generation, kernelSynchronized());
        return;
    }
    ToolRunner *&runner = m_runners[service];
    if (!runner) {
        runner = new ToolRunner(this);
    }
    runner->run(tool.command.program, tool.command.arguments, toolTimeoutMs, [this, service, generation, tool](const ToolOutput &result) {
        answer(service, generation, result.succeeded() && tool.read(result.output) == SyncState::Synchronized);
    });
}

void SyncStatus::answer(PackageIndex service, quint64 generation, bool synchronized)
{
    Entry &entry = m_entries[service];
    if (entry.generation != generation) {
        return;
    }
    entry.probing = false;
    entry.answered = true;
    entry.synchronized = synchronized;
    entry.answeredAt.start();
}
