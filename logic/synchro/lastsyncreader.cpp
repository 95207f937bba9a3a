// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "lastsyncreader.h"

#include "catalog/servicecatalog.h"
#include "common/programs.h"
#include "zeladmintime_debug.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QProcess>

#include <sys/socket.h>

static const QString timesyncService = QStringLiteral("org.freedesktop.timesync1");
static const QString timesyncPath = QStringLiteral("/org/freedesktop/timesync1");
static const QString timesyncInterface = QStringLiteral("org.freedesktop.timesync1.Manager");

LastSyncReader::LastSyncReader(QObject *parent)
    : QObject(parent)
    , m_bus(QDBusConnection::systemBus())
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LastSyncReader::onTimeout);
}

LastSyncReader::~LastSyncReader()
{
    cleanUp();
}

void LastSyncReader::setBus(const QDBusConnection &bus)
{
    m_bus = bus;
}

bool LastSyncReader::isBusy() const
{
    return m_busy;
}

LastSynchroInfo LastSyncReader::toInfo(const LastSyncRecord &record)
{
    LastSynchroInfo info;
    if (!record.isKnown()) {
        return info;
    }
    const QDateTime local = record.when.toLocalTime();
    const QLocale locale;
    info.date = locale.toString(local.date(), QLocale::ShortFormat);
    info.time = locale.toString(local.time(), QLocale::ShortFormat);
    info.server = record.server;
    return info;
}

bool LastSyncReader::request(const QString &serviceName, int timeoutMs)
{
    if (m_busy) {
        return false;
    }
    m_busy = true;
    ++m_serial;
    m_timer.start(qMax(0, timeoutMs));

    const ServiceDescription *service = ServiceCatalog::byServiceName(serviceName);
    if (!service) {
        // No active service: nothing to tell, which is an answer, not a time-out.
        answerLater({});
        return true;
    }
    switch (service->index) {
    case TimesyncdPackage:
        askTimesyncd();
        break;
    case ChronyPackage:
        // -n: a slow resolver must not cost the answer its time limit.
        runTool(Programs::chronyc(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("tracking")}, &LastSyncParsers::parseChronyTracking);
        break;
    case NtpsecPackage:
        runTool(Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("rv")}, &LastSyncParsers::parseNtpqReadvar);
        break;
    case OpenntpdPackage:
        runTool(Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("peers")}, [](const QString &output) {
            return LastSyncParsers::parseNtpctlPeers(output, QDateTime::currentDateTimeUtc());
        });
        break;
    }
    return true;
}

void LastSyncReader::answerLater(const LastSyncRecord &record)
{
    const quint64 serial = m_serial;
    QTimer::singleShot(0, this, [this, serial, record] {
        answer(serial, record);
    });
}

void LastSyncReader::answer(quint64 serial, const LastSyncRecord &record)
{
    // A late answer to a request that timed out, or to an older one.
    if (!m_busy || serial != m_serial) {
        return;
    }
    m_busy = false;
    m_timer.stop();
    cleanUp();
    Q_EMIT received(toInfo(record));
}

void LastSyncReader::onTimeout()
{
    if (!m_busy) {
        return;
    }
    m_busy = false;
    cleanUp();
    qCWarning(ZELADMINTIME_LOG) << "no last-synchronization info in time";
    Q_EMIT timedOut();
}

void LastSyncReader::cleanUp()
{
    if (m_process) {
        QProcess *process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            // Reaped once it has gone; ~QProcess would wait for it here.
            connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), process, &QObject::deleteLater);
            connect(process, &QProcess::errorOccurred, process, &QObject::deleteLater);
            process->setParent(nullptr);
        } else {
            process->deleteLater();
        }
    }
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}

void LastSyncReader::runTool(const QString &tool, const QStringList &arguments, std::function<LastSyncRecord(const QString &)> parse)
{
    const QString &program = tool;
    if (!QFileInfo(program).isExecutable()) {
        // The service's own tool is not installed: nothing can be known.
        answerLater({});
        return;
    }
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process->setProcessEnvironment(environment);

    const quint64 serial = m_serial;
    connect(process,
            qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
            this,
            [this, process, serial, parse, tool](int exitCode, QProcess::ExitStatus status) {
                LastSyncRecord record;
                if (status == QProcess::NormalExit && exitCode == 0) {
                    record = parse(QString::fromLocal8Bit(process->readAllStandardOutput()));
                } else {
                    qCWarning(ZELADMINTIME_LOG) << tool << "failed:" << process->readAllStandardError().trimmed();
                }
                answer(serial, record);
            });
    connect(process, &QProcess::errorOccurred, this, [this, serial, tool](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qCWarning(ZELADMINTIME_LOG) << tool << "could not be started";
            answer(serial, {});
        }
    });
    // Started from the event loop: not even a failure answers from inside request().
    QTimer::singleShot(0, process, [process] {
        process->start();
    });
}

// ServerAddress (iay): address family and the address's bytes.
static QString addressText(const QDBusArgument &argument)
{
    qint32 family = 0;
    QByteArray bytes;
    argument.beginStructure();
    argument >> family >> bytes;
    argument.endStructure();
    if (family == AF_INET && bytes.size() == 4) {
        const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
        return QHostAddress(quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3])).toString();
    }
    if (family == AF_INET6 && bytes.size() == 16) {
        return QHostAddress(reinterpret_cast<const quint8 *>(bytes.constData())).toString();
    }
    return {};
}

// NTPMessage (uuuuittayttttbtt): the last answer from the server, times in
// microseconds since 1970.
static QDateTime messageTime(const QDBusArgument &argument)
{
    quint32 leap = 0, version = 0, mode = 0, stratum = 0;
    qint32 precision = 0;
    quint64 rootDelay = 0, rootDispersion = 0;
    QByteArray referenceId;
    quint64 origin = 0, receive = 0, transmit = 0, destination = 0;
    bool spike = false;
    quint64 packetCount = 0, jitter = 0;
    argument.beginStructure();
    argument >> leap >> version >> mode >> stratum >> precision >> rootDelay >> rootDispersion >> referenceId;
    argument >> origin >> receive >> transmit >> destination >> spike >> packetCount >> jitter;
    argument.endStructure();
    // No answer yet: everything is zero (and the server times wrap around).
    if (destination == 0 || stratum == 0 || leap == 3) {
        return {};
    }
    // The server's transmit time is the right time; our own clock at
    // arrival may have been the wrong one just corrected.
    quint64 usec = transmit;
    const quint64 plausibleFrom = Q_UINT64_C(946684800000000);
    if (usec < plausibleFrom || usec > destination + Q_UINT64_C(86400000000) * 365) {
        usec = destination;
    }
    if (usec < plausibleFrom) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(usec / 1000), Qt::UTC);
}

void LastSyncReader::askTimesyncd()
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(timesyncService, timesyncPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << timesyncInterface;
    // Asking must not start timesyncd.
    message.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    m_watcher = watcher;
    const quint64 serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, serial] {
        const QDBusPendingReply<QVariantMap> reply = *watcher;
        LastSyncRecord record;
        if (reply.isError()) {
            qCWarning(ZELADMINTIME_LOG) << "timesyncd did not answer:" << reply.error().message();
        } else {
            const QVariantMap properties = reply.value();
            const QVariant ntpMessage = properties.value(QStringLiteral("NTPMessage"));
            if (ntpMessage.canConvert<QDBusArgument>()) {
                record.when = messageTime(ntpMessage.value<QDBusArgument>());
            }
            record.server = properties.value(QStringLiteral("ServerName")).toString();
            const QVariant address = properties.value(QStringLiteral("ServerAddress"));
            if (record.server.isEmpty() && address.canConvert<QDBusArgument>()) {
                record.server = addressText(address.value<QDBusArgument>());
            }
        }
        answer(serial, record);
    });
}
