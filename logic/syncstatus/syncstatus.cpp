// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstatus.h"

#include "../common/programs.h"
#include "syncparsers.h"
#include "zeladmintime_debug.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <sys/timex.h>

static constexpr int toolTimeoutMs = 5000;

SyncStatus::SyncStatus(QObject *parent)
    : QObject(parent)
{
}

SyncStatus::~SyncStatus()
{
    // Status tools still running are of no use to anyone now.
    const auto processes = findChildren<QProcess *>();
    for (QProcess *process : processes) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

bool SyncStatus::isSynchronized(PackageIndex service, int maxAgeMs)
{
    Entry &entry = entries[service];
    if (!entry.probing && (!entry.answered || entry.answeredAt.elapsed() > maxAgeMs)) {
        refresh(service);
    }
    return entries[service].answered && entries[service].synchronized;
}

void SyncStatus::forget(PackageIndex service)
{
    Entry &entry = entries[service];
    entry.answered = false;
    entry.synchronized = false;
    entry.probing = false; // an answer still on its way is for the old run
    ++entry.generation;
}

bool SyncStatus::isProbing(PackageIndex service) const
{
    return entries.value(service).probing;
}

bool SyncStatus::kernelSynchronized()
{
    struct timex tx = {};
    tx.modes = 0; // read only
    if (adjtimex(&tx) < 0) {
        return false;
    }
    return SyncParsers::kernelClock(tx.status, tx.maxerror) == SyncParsers::Answer::Synchronized;
}

void SyncStatus::refresh(PackageIndex service)
{
    Entry &entry = entries[service];
    if (entry.probing) {
        return;
    }
    entry.probing = true;
    const quint64 generation = entry.generation;

    QString tool;
    QStringList arguments;
    switch (service) {
    case TimesyncdPackage:
        askTimesyncd(generation);
        return;
    case ChronyPackage:
        tool = Programs::chronyc();
        arguments = QStringList{QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("tracking")};
        break;
    case NtpsecPackage:
        tool = Programs::ntpq();
        arguments = QStringList{QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("rv")};
        break;
    case OpenntpdPackage:
        tool = Programs::ntpctl();
        arguments = QStringList{QStringLiteral("-s"), QStringLiteral("status")};
        break;
    }
    const QString program = tool;
    if (!QFileInfo(program).isExecutable()) {
        // The service has no status tool here: the kernel knows whether
        // someone keeps the clock synchronized.
        answer(service, generation, kernelSynchronized());
        return;
    }
    runTool(service, program, arguments, generation);
}

void SyncStatus::runTool(PackageIndex service, const QString &program, const QStringList &arguments, quint64 generation)
{
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    auto *killer = new QTimer(process);
    killer->setSingleShot(true);
    connect(killer, &QTimer::timeout, process, &QProcess::kill);
    connect(process, &QProcess::errorOccurred, this, [this, process, service, generation](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
            answer(service, generation, false);
        }
    });
    connect(process,
            QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
            this,
            [this, process, service, generation](int exitCode, QProcess::ExitStatus exitStatus) {
                process->deleteLater();
                const QByteArray output = process->readAllStandardOutput();
                SyncParsers::Answer result = SyncParsers::Answer::Unknown;
                if (exitStatus == QProcess::NormalExit && exitCode == 0) {
                    switch (service) {
                    case ChronyPackage:
                        result = SyncParsers::chronyTracking(output);
                        break;
                    case NtpsecPackage:
                        result = SyncParsers::ntpqVariables(output);
                        break;
                    case OpenntpdPackage:
                        result = SyncParsers::ntpctlStatus(output);
                        break;
                    case TimesyncdPackage:
                        break;
                    }
                }
                answer(service, generation, result == SyncParsers::Answer::Synchronized);
            });
    killer->start(toolTimeoutMs);
    process->start(program, arguments, QIODevice::ReadOnly);
}

static bool readNtpMessage(const QVariant &value, uint &leap, uint &stratum, quint64 &transmit)
{
    if (!value.canConvert<QDBusArgument>()) {
        return false;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(uuuuittayttttbtt)")) {
        return false;
    }
    uint version = 0;
    uint mode = 0;
    int precision = 0;
    quint64 rootDelay = 0;
    quint64 rootDispersion = 0;
    QByteArray reference;
    quint64 origin = 0;
    quint64 receive = 0;
    quint64 destination = 0;
    bool spike = false;
    quint64 packetCount = 0;
    quint64 jitter = 0;
    argument.beginStructure();
    argument >> leap >> version >> mode >> stratum >> precision >> rootDelay >> rootDispersion >> reference >> origin >> receive >> transmit >> destination
        >> spike >> packetCount >> jitter;
    argument.endStructure();
    return true;
}

void SyncStatus::askTimesyncd(quint64 generation)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.timesync1"),
                                                          QStringLiteral("/org/freedesktop/timesync1"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("GetAll"));
    message << QStringLiteral("org.freedesktop.timesync1.Manager");
    // Asking must never start timesyncd through bus activation.
    message.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(message, toolTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QVariantMap> reply = *w;
        if (reply.isError()) {
            const QDBusError::ErrorType type = reply.error().type();
            // Not on this bus (an older timesyncd, or another bus): the kernel tells.
            const bool absent = type == QDBusError::ServiceUnknown || type == QDBusError::UnknownObject || type == QDBusError::UnknownInterface;
            answer(TimesyncdPackage, generation, absent && kernelSynchronized());
            return;
        }
        const QVariantMap properties = reply.value();
        uint leap = 3;
        uint stratum = 0;
        quint64 transmit = 0;
        if (!readNtpMessage(properties.value(QStringLiteral("NTPMessage")), leap, stratum, transmit)) {
            answer(TimesyncdPackage, generation, false);
            return;
        }
        const QString server = properties.value(QStringLiteral("ServerName")).toString();
        answer(TimesyncdPackage, generation, SyncParsers::timesyncdMessage(server, leap, stratum, transmit) == SyncParsers::Answer::Synchronized);
    });
}

void SyncStatus::answer(PackageIndex service, quint64 generation, bool synchronized)
{
    Entry &entry = entries[service];
    if (entry.generation != generation) {
        return;
    }
    entry.probing = false;
    entry.answered = true;
    entry.synchronized = synchronized;
    entry.answeredAt.start();
}
