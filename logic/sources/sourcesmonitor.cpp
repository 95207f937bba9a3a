// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "sourcesmonitor.h"

#include "catalog/servicecatalog.h"
#include "common/programs.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDateTime>
#include <QHostAddress>
#include <QProcess>

#include <sys/socket.h>

static const QString timesyncService = QStringLiteral("org.freedesktop.timesync1");
static const QString timesyncPath = QStringLiteral("/org/freedesktop/timesync1");
static const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The unit's object path: systemd escapes every byte but [A-Za-z0-9] as _xx.
static QString unitPath(const QString &unitName)
{
    QString path = QStringLiteral("/org/freedesktop/systemd1/unit/");
    const QByteArray bytes = unitName.toUtf8();
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9' && i > 0);
        path += plain ? QString(QLatin1Char(c)) : QStringLiteral("_%1").arg(int(quint8(c)), 2, 16, QLatin1Char('0'));
    }
    return path;
}

SourcesMonitor::SourcesMonitor(PackageIndex service, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_bus(QDBusConnection::systemBus())
{
    m_interval.setInterval(2000);
    connect(&m_interval, &QTimer::timeout, this, &SourcesMonitor::tick);
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        answer(m_serial, Status::Failed, {}, ki18nd("kcm_zel_admin_time", "No answer within %1 seconds.").subs(timeLimit / 1000).toString());
    });
}

SourcesMonitor::~SourcesMonitor()
{
    cancel();
}

void SourcesMonitor::setBus(const QDBusConnection &bus)
{
    m_bus = bus;
}

void SourcesMonitor::setInterval(int milliseconds)
{
    m_interval.setInterval(milliseconds);
}

void SourcesMonitor::setWatching(bool watching)
{
    if (watching == m_watching) {
        return;
    }
    m_watching = watching;
    subscribe(watching && m_service == TimesyncdPackage);
    if (watching) {
        m_interval.start();
        tick();
    } else {
        m_interval.stop();
        cancel();
    }
}

void SourcesMonitor::subscribe(bool on)
{
    if (on == m_subscribed) {
        return;
    }
    m_subscribed = on;
    // timesyncd announces a new answer or server itself.
    if (on) {
        m_bus.connect(timesyncService, timesyncPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this, SLOT(timesyncdChanged()));
    } else {
        m_bus.disconnect(timesyncService, timesyncPath, propertiesInterface, QStringLiteral("PropertiesChanged"), this, SLOT(timesyncdChanged()));
    }
}

void SourcesMonitor::timesyncdChanged()
{
    if (m_watching && !m_busy) {
        tick();
    }
}

QDBusPendingCallWatcher *SourcesMonitor::call(const QDBusMessage &message)
{
    ++m_queries;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeLimit), this);
    m_watcher = watcher;
    return watcher;
}

void SourcesMonitor::tick()
{
    // One reading at a time; a slow one makes the next wait.
    if (!m_watching || m_busy) {
        return;
    }
    m_busy = true;
    const quint64 serial = ++m_serial;
    m_limit.start(timeLimit);
    const QString unit = ServiceCatalog::byIndex(m_service).unitName;
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"), unitPath(unit), propertiesInterface, QStringLiteral("Get"));
    message << QStringLiteral("org.freedesktop.systemd1.Unit") << QStringLiteral("ActiveState");
    QDBusPendingCallWatcher *watcher = call(message);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        if (reply.isError()) {
            answer(serial, Status::Failed, {}, reply.error().message());
            return;
        }
        const QString state = reply.value().variant().toString();
        if (state != QLatin1String("active") && state != QLatin1String("reloading")) {
            answer(serial, Status::NotActive);
            return;
        }
        readSources();
    });
}

void SourcesMonitor::readSources()
{
    switch (m_service) {
    case ChronyPackage:
        // -n: no name lookups; -m: both commands in one run.
        runTool(Programs::chronyc(),
                {QStringLiteral("-c"), QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("sources"), QStringLiteral("sourcestats")},
                &SourceParsers::chrony);
        break;
    case NtpsecPackage:
        runTool(Programs::ntpq(), {QStringLiteral("-n"), QStringLiteral("-w"), QStringLiteral("-c"), QStringLiteral("peers")}, &SourceParsers::ntpq);
        break;
    case OpenntpdPackage:
        runTool(Programs::ntpctl(), {QStringLiteral("-s"), QStringLiteral("peers")}, &SourceParsers::ntpctl);
        break;
    case TimesyncdPackage:
        askTimesyncd();
        break;
    }
}

void SourcesMonitor::runTool(const QString &program, const QStringList &arguments, std::function<SourcesReport(const QByteArray &)> parse)
{
    ++m_queries;
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // Read once: the environment does not change under a running module.
    static const QProcessEnvironment environment = [] {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        return e;
    }();
    process->setProcessEnvironment(environment);
    const quint64 serial = m_serial;
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this, process, serial, parse](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        const SourcesReport report = parse(process->readAllStandardOutput());
        const QString errors = QString::fromLocal8Bit(process->readAllStandardError()).trimmed().left(300);
        if (status != QProcess::NormalExit || (code != 0 && report.rows.isEmpty())) {
            // chronyc's "506 Cannot talk to daemon" and the like.
            const QString why = !errors.isEmpty() ? errors
                : !report.error.isEmpty()         ? report.error
                                                  : ki18nd("kcm_zel_admin_time", "%1 ended with exit code %2.").subs(process->program()).subs(code).toString();
            answer(serial, Status::Failed, {}, why);
        } else if (!report.error.isEmpty()) {
            answer(serial, Status::Failed, {}, report.error);
        } else {
            answer(serial, Status::Shown, report.rows);
        }
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, serial](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
            answer(serial,
                   Status::Failed,
                   {},
                   ki18nd("kcm_zel_admin_time", "The program %1 could not be started: %2").subs(process->program()).subs(process->errorString()).toString());
        }
    });
    process->start();
}

namespace
{
QString addressText(const QVariant &value)
{
    if (!value.canConvert<QDBusArgument>()) {
        return {};
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
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

// NTPMessage (uuuuittayttttbtt).
void readMessage(const QVariant &value, TimesyncdSources *sources)
{
    if (!value.canConvert<QDBusArgument>()) {
        return;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    quint32 version = 0, mode = 0;
    qint32 precision = 0;
    quint64 rootDelay = 0, rootDispersion = 0, packets = 0;
    QByteArray referenceId;
    bool spike = false;
    argument.beginStructure();
    argument >> sources->leap >> version >> mode >> sources->stratum >> precision >> rootDelay >> rootDispersion >> referenceId;
    argument >> sources->origin >> sources->receive >> sources->transmit >> sources->destination >> spike >> packets >> sources->jitterUSec;
    argument.endStructure();
}
}

void SourcesMonitor::askTimesyncd()
{
    QDBusMessage message = QDBusMessage::createMethodCall(timesyncService, timesyncPath, propertiesInterface, QStringLiteral("GetAll"));
    message << QStringLiteral("org.freedesktop.timesync1.Manager");
    message.setAutoStartService(false);
    QDBusPendingCallWatcher *watcher = call(message);
    const quint64 serial = m_serial;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *watcher;
        if (reply.isError()) {
            answer(serial, Status::Failed, {}, reply.error().message());
            return;
        }
        const QVariantMap p = reply.value();
        TimesyncdSources sources;
        sources.serverName = p.value(QStringLiteral("ServerName")).toString();
        sources.serverAddress = addressText(p.value(QStringLiteral("ServerAddress")));
        sources.linkServers = p.value(QStringLiteral("LinkNTPServers")).toStringList();
        sources.systemServers = p.value(QStringLiteral("SystemNTPServers")).toStringList();
        sources.runtimeServers = p.value(QStringLiteral("RuntimeNTPServers")).toStringList();
        sources.fallbackServers = p.value(QStringLiteral("FallbackNTPServers")).toStringList();
        sources.pollUSec = p.value(QStringLiteral("PollIntervalUSec")).toULongLong();
        readMessage(p.value(QStringLiteral("NTPMessage")), &sources);
        sources.nowUSec = quint64(QDateTime::currentMSecsSinceEpoch()) * 1000;
        answer(serial, Status::Shown, SourceParsers::timesyncd(sources));
    });
}

void SourcesMonitor::answer(quint64 serial, Status status, const QVector<SourceRow> &rows, const QString &error)
{
    // Late news of a reading given up on.
    if (!m_busy || serial != m_serial) {
        return;
    }
    m_busy = false;
    m_limit.stop();
    cancel();
    if (status == Status::Failed) {
        qCWarning(ZELADMINTIME_LOG) << "sources of" << ServiceCatalog::byIndex(m_service).serviceName << "not read:" << error;
    }
    Q_EMIT updated(status, rows, error);
}

void SourcesMonitor::cancel()
{
    m_busy = false;
    m_limit.stop();
    if (m_process) {
        QProcess *process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            // Reaped once gone; ~QProcess would wait for it.
            connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), process, &QObject::deleteLater);
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
