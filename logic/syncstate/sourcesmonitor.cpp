// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/sourcesmonitor.h"

#include "catalog/servicecatalog.h"
#include "diagnosis/timedatedreader.h"
#include "syncstate/servicetools.h"
#include "syncstate/timesyncdreader.h"
#include "syncstate/toolrunner.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

static const QString timesyncService = QStringLiteral("org.freedesktop.timesync1");
static const QString timesyncPath = QStringLiteral("/org/freedesktop/timesync1");
static const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

SourcesMonitor::SourcesMonitor(PackageIndex service, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_bus(bus)
    , m_runner(new ToolRunner(this))
    , m_timesyncd(new TimesyncdReader(bus, this))
    , m_timedated(new TimedatedReader(bus, this))
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
        // Otherwise it runs across refreshes until its own time limit.
        m_timedated->cancel();
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

void SourcesMonitor::tick()
{
    // One reading at a time; a slow one makes the next wait.
    if (!m_watching || m_busy) {
        return;
    }
    m_busy = true;
    const quint64 serial = ++m_serial;
    m_limit.start(timeLimit);
    // All four units in one question: this one's state, and whether another
    // service holds the clock meanwhile.
    QStringList units;
    for (const ServiceDescription &description : ServiceCatalog::all()) {
        units.append(description.unitName);
    }
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"),
                                                          QStringLiteral("/org/freedesktop/systemd1"),
                                                          QStringLiteral("org.freedesktop.systemd1.Manager"),
                                                          QStringLiteral("ListUnitsByNames"));
    message << units;
    ++m_queries;
    m_timedated->read(timeLimit);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeLimit), this);
    m_watcher = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, serial] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() || !reply.arguments().first().canConvert<QDBusArgument>()) {
            answer(serial, Status::Failed, {}, watcher->error().message());
            return;
        }
        // a(ssssssouso): name, description, load state, active state, ...
        const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
        const QString own = ServiceCatalog::byIndex(m_service).unitName;
        QString state;
        m_others.clear();
        m_installed = true;
        list.beginArray();
        while (!list.atEnd()) {
            QString name, description, load, active, sub, following, jobType;
            QDBusObjectPath path, jobPath;
            quint32 job = 0;
            list.beginStructure();
            list >> name >> description >> load >> active >> sub >> following >> path >> job >> jobType >> jobPath;
            list.endStructure();
            const bool running = active == QLatin1String("active") || active == QLatin1String("reloading") || active == QLatin1String("activating");
            if (name == own) {
                state = active;
                m_installed = load != QLatin1String("not-found");
            } else if (running && ServiceCatalog::byUnitName(name)) {
                m_others.append(name);
            }
        }
        list.endArray();
        if (state != QLatin1String("active") && state != QLatin1String("reloading")) {
            answer(serial, Status::NotActive);
            return;
        }
        readSources();
    });
}

void SourcesMonitor::readSources()
{
    ++m_queries;
    const quint64 serial = m_serial;
    if (m_service == TimesyncdPackage) {
        m_timesyncd->read(timeLimit, [this, serial](const TimesyncdSources &properties, const QString &error) {
            m_properties = properties;
            if (!error.isEmpty()) {
                answer(serial, Status::Failed, {}, error);
            } else {
                answer(serial, Status::Shown, SourceParsers::timesyncd(properties));
            }
        });
        return;
    }
    const ServiceTools::Tool<SourcesReport> tool = ServiceTools::of(m_service)->sources;
    const PackageIndex service = m_service;
    m_runner->run(tool.command.program, tool.command.arguments, timeLimit, [this, serial, service, tool](const ToolOutput &result) {
        const SourcesReport report = tool.read(result.output);
        if (!result.ran || (result.exitCode != 0 && report.rows.isEmpty())) {
            // chronyc's "506 Cannot talk to daemon" and the like.
            const QString why = !result.error.isEmpty() ? result.error
                : !report.error.isEmpty()
                ? report.error
                : ki18nd("kcm_zel_admin_time", "%1 ended with exit code %2.").subs(tool.command.program).subs(result.exitCode).toString();
            answer(serial, Status::Failed, {}, why);
        } else if (!report.error.isEmpty()) {
            answer(serial, Status::Failed, {}, report.error);
        } else {
            if (service == ChronyPackage) {
                m_chrony = Diagnosis::parseChrony(result.output);
            }
            answer(serial, Status::Shown, report.rows);
        }
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
    Finding finding;
    if (status == Status::Shown) {
        finding = Diagnosis::diagnose(m_service, rows, m_chrony, QDateTime::currentDateTimeUtc());
        if (m_service == TimesyncdPackage) {
            Diagnosis::refineTimesyncd(&finding, m_properties);
        }
    } else if (status == Status::NotActive) {
        finding.kind = !m_installed ? Finding::NotInstalled : m_others.isEmpty() ? Finding::NotRunning : Finding::OtherActive;
    } else {
        finding.kind = Finding::Failed;
        finding.detail = error;
    }
    finding.others = m_others;
    Diagnosis::judgeSwitch(&finding, ServiceCatalog::byIndex(m_service).unitName, status == Status::Shown, m_timedated->last());
    m_chrony = ChronyState();
    Q_EMIT diagnosed(finding);
}

void SourcesMonitor::cancel()
{
    m_busy = false;
    m_limit.stop();
    m_runner->cancel();
    m_timesyncd->cancel();
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}
