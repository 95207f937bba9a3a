// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "systemd/systemdclient.h"

#include "common/nestedwait.h"

#include "properties_interface.h"
#include "systemd1_manager_interface.h"
#include "systemd1_unit_interface.h"
#include "zeladmintime_debug.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>

static const QString systemdService = QStringLiteral("org.freedesktop.systemd1");
static const QString managerPath = QStringLiteral("/org/freedesktop/systemd1");
static const QString serviceInterface = QStringLiteral("org.freedesktop.systemd1.Service");
static const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Round trips that need no one's consent.
static constexpr int queryTimeoutMs = 5000;
// A manager that answers at all answers a property read within this; a
// command checks it first so that a hung manager fails it in seconds, not
// after the long wait that polkit's question may need.
static constexpr int livenessTimeoutMs = 3000;
// Calls that may wait for the administrator to authorize them through polkit.
static constexpr int authorizedCallTimeoutMs = 5 * 60 * 1000;
// systemd's own start time-outs are 90 s by default; this only guards
// against a job whose end we never hear of.
static constexpr int jobEndTimeoutMs = 5 * 60 * 1000;
static constexpr int finishedJobsKept = 256;

QString SystemdClient::unitObjectPath(const QString &unitName)
{
    // systemd's bus label escaping: every byte but [A-Za-z0-9] becomes _xx,
    // and so does a leading digit.
    QString path = managerPath + QStringLiteral("/unit/");
    const QByteArray bytes = unitName.toUtf8();
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (alpha || (digit && i > 0)) {
            path += QLatin1Char(c);
        } else {
            path += QLatin1Char('_') + QString::number(static_cast<unsigned char>(c), 16).rightJustified(2, QLatin1Char('0'));
        }
    }
    if (bytes.isEmpty()) {
        path += QLatin1Char('_');
    }
    return path;
}

SystemdClient::SystemdClient(const QStringList &names, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_connection(bus)
    , m_unitNames(names)
{
    for (const QString &name : names) {
        m_units.insert(name, UnitState());
    }
    m_reachable = m_connection.isConnected();
    if (!m_reachable) {
        qCWarning(ZELADMINTIME_LOG) << "no connection to the system bus:" << m_connection.lastError().message();
    }
}

// Whoever waits in a nested loop gets back to its caller by itself (NestedWait).
SystemdClient::~SystemdClient() = default;

void SystemdClient::connectSignals()
{
    if (m_subscribed || !m_connection.isConnected()) {
        return;
    }
    // Without a subscription systemd sends no unit or job signals.
    QDBusMessage subscribe = QDBusMessage::createMethodCall(systemdService,
                                                            managerPath,
                                                            QString::fromLatin1(OrgFreedesktopSystemd1ManagerInterface::staticInterfaceName()),
                                                            QStringLiteral("Subscribe"));
    const QDBusMessage reply = m_connection.call(subscribe, QDBus::Block, livenessTimeoutMs);
    // The subscription belongs to the bus connection, which an earlier
    // controller of this process may have made already.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() != QLatin1String("org.freedesktop.systemd1.AlreadySubscribed")) {
        m_subscribeError = QDBusError(reply);
        noteError(m_subscribeError);
        return;
    }
    m_subscribed = true;

    m_manager = new OrgFreedesktopSystemd1ManagerInterface(systemdService, managerPath, m_connection, this);
    connect(m_manager, &OrgFreedesktopSystemd1ManagerInterface::JobRemoved, this, &SystemdClient::onJobRemoved);
    connect(m_manager, &OrgFreedesktopSystemd1ManagerInterface::UnitFilesChanged, this, &SystemdClient::fetchAllAsync);
    connect(m_manager, &OrgFreedesktopSystemd1ManagerInterface::Reloading, this, [this](bool active) {
        if (!active) {
            fetchAllAsync();
        }
    });
    for (const QString &name : std::as_const(m_unitNames)) {
        auto *proxy = new OrgFreedesktopDBusPropertiesInterface(systemdService, unitObjectPath(name), m_connection, this);
        connect(proxy,
                &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged,
                this,
                [this, name](const QString &interfaceName, const QVariantMap &changed, const QStringList &invalidated) {
                    onPropertiesChanged(name, interfaceName, changed, invalidated);
                });
        m_unitProxies.append(proxy);
    }
}

// The bus library answers Peer.Ping by itself, even for a manager whose
// own code is stuck; a property read needs the manager.
static QDBusMessage livenessMessage()
{
    QDBusMessage message = QDBusMessage::createMethodCall(systemdService, managerPath, propertiesInterface, QStringLiteral("Get"));
    message << QString::fromLatin1(OrgFreedesktopSystemd1ManagerInterface::staticInterfaceName()) << QStringLiteral("Version");
    return message;
}

void SystemdClient::noteLiveness(const QDBusMessage &reply)
{
    m_reachable = reply.type() == QDBusMessage::ReplyMessage;
    m_livenessError = QDBusError(reply);
    m_lastLiveness.start();
    if (!m_reachable) {
        qCWarning(ZELADMINTIME_LOG) << "systemd does not answer:" << reply.errorName() << reply.errorMessage();
    }
}

bool SystemdClient::ping(int timeoutMs)
{
    if (!m_connection.isConnected()) {
        m_reachable = false;
        m_lastLiveness.start();
        return false;
    }
    noteLiveness(m_connection.call(livenessMessage(), QDBus::Block, timeoutMs));
    return m_reachable;
}

bool SystemdClient::checkedRecently(int maxAgeMs) const
{
    return m_lastLiveness.isValid() && !m_lastLiveness.hasExpired(maxAgeMs);
}

bool SystemdClient::answersNow()
{
    if (!m_connection.isConnected()) {
        m_reachable = false;
        return false;
    }
    QPointer<SystemdClient> self(this);
    const QDBusMessage reply = callAndWait(livenessMessage(), livenessTimeoutMs);
    if (!self) {
        return false;
    }
    noteLiveness(reply);
    return m_reachable;
}

void SystemdClient::noteError(const QDBusError &error, bool waitedForUser)
{
    switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        if (waitedForUser) {
            // Nobody answered polkit's question: systemd itself is fine.
            qCWarning(ZELADMINTIME_LOG) << "systemd:" << error.name() << error.message();
            break;
        }
        Q_FALLTHROUGH();
    case QDBusError::ServiceUnknown:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
        if (m_reachable) {
            qCWarning(ZELADMINTIME_LOG) << "systemd cannot be reached:" << error.message();
        }
        m_reachable = false;
        break;
    default:
        qCWarning(ZELADMINTIME_LOG) << "systemd:" << error.name() << error.message();
        break;
    }
}

static QDBusMessage getAllMessage(const QString &unitName, const QString &interfaceName)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(systemdService, SystemdClient::unitObjectPath(unitName), propertiesInterface, QStringLiteral("GetAll"));
    message << interfaceName;
    return message;
}

void SystemdClient::refreshAll(int timeoutMs)
{
    if (!m_reachable) {
        return;
    }
    connectSignals();
    if (!m_reachable) {
        return;
    }
    // All questions at once, then the answers: one round trip's wait.
    struct Pending {
        QString unitName;
        QDBusPendingCall call;
    };
    QVector<Pending> pending;
    const QString unitInterface = QString::fromLatin1(OrgFreedesktopSystemd1UnitInterface::staticInterfaceName());
    for (const QString &name : std::as_const(m_unitNames)) {
        pending.append({name, m_connection.asyncCall(getAllMessage(name, unitInterface), timeoutMs)});
        pending.append({name, m_connection.asyncCall(getAllMessage(name, serviceInterface), timeoutMs)});
    }
    for (Pending &p : pending) {
        p.call.waitForFinished();
        QDBusPendingReply<QVariantMap> reply = p.call;
        if (reply.isError()) {
            noteError(reply.error());
            if (!m_reachable) {
                return;
            }
            continue;
        }
        applyProperties(p.unitName, reply.value());
    }
}

void SystemdClient::fetchAsync(const QString &unitName)
{
    if (!m_reachable) {
        return;
    }
    const QString unitInterface = QString::fromLatin1(OrgFreedesktopSystemd1UnitInterface::staticInterfaceName());
    for (const QString &interfaceName : {unitInterface, serviceInterface}) {
        auto *watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(getAllMessage(unitName, interfaceName), queryTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, unitName](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            QDBusPendingReply<QVariantMap> reply = *w;
            if (reply.isError()) {
                noteError(reply.error());
            } else {
                applyProperties(unitName, reply.value());
            }
        });
    }
}

void SystemdClient::fetchAllAsync()
{
    for (const QString &name : std::as_const(m_unitNames)) {
        fetchAsync(name);
    }
}

void SystemdClient::onPropertiesChanged(const QString &unitName, const QString &interfaceName, const QVariantMap &changed, const QStringList &invalidated)
{
    Q_UNUSED(interfaceName)
    applyProperties(unitName, changed);
    static const QStringList kept{QStringLiteral("LoadState"),
                                  QStringLiteral("ActiveState"),
                                  QStringLiteral("SubState"),
                                  QStringLiteral("UnitFileState"),
                                  QStringLiteral("Result"),
                                  QStringLiteral("Conflicts"),
                                  QStringLiteral("ConflictedBy")};
    for (const QString &property : invalidated) {
        if (kept.contains(property)) {
            fetchAsync(unitName);
            break;
        }
    }
}

void SystemdClient::applyProperties(const QString &unitName, const QVariantMap &properties)
{
    auto it = m_units.find(unitName);
    if (it == m_units.end()) {
        return;
    }
    UnitState &state = *it;
    const QString oldActive = state.activeState;
    const QString oldLoad = state.loadState;
    auto take = [&](const char *name, QString &into) {
        const auto found = properties.constFind(QLatin1String(name));
        if (found != properties.constEnd()) {
            into = found->toString();
        }
    };
    auto takeList = [&](const char *name, QStringList &into) {
        const auto found = properties.constFind(QLatin1String(name));
        if (found != properties.constEnd()) {
            into = found->toStringList();
        }
    };
    take("LoadState", state.loadState);
    take("ActiveState", state.activeState);
    take("SubState", state.subState);
    take("UnitFileState", state.unitFileState);
    take("Result", state.result);
    takeList("Conflicts", state.conflicts);
    takeList("ConflictedBy", state.conflictedBy);
    if (properties.contains(QStringLiteral("LoadState"))) {
        state.fetched = true;
    }
    if (oldActive != state.activeState || oldLoad != state.loadState) {
        Q_EMIT unitActivityChanged(unitName);
    }
}

UnitState SystemdClient::unit(const QString &unitName) const
{
    return m_units.value(unitName);
}

void SystemdClient::onJobRemoved(uint id, const QDBusObjectPath &job, const QString &unitName, const QString &result)
{
    Q_UNUSED(id)
    const QString path = job.path();
    if (!m_finishedJobs.contains(path)) {
        m_finishedOrder.enqueue(path);
        while (m_finishedOrder.size() > finishedJobsKept) {
            m_finishedJobs.remove(m_finishedOrder.dequeue());
        }
    }
    m_finishedJobs.insert(path, result);
    const auto waiters = m_jobWaiters.values(path);
    for (NestedWait *wait : waiters) {
        wait->quit();
    }
    if (m_units.contains(unitName)) {
        fetchAsync(unitName);
    }
}

QDBusMessage SystemdClient::callAndWait(const QDBusMessage &message, int timeoutMs)
{
    QDBusPendingCall call = m_connection.asyncCall(message, timeoutMs);
    if (!call.isFinished()) {
        NestedWait wait(this);
        QDBusPendingCallWatcher watcher(call);
        wait.quitOn(&watcher, &QDBusPendingCallWatcher::finished);
        if (!wait.exec()) {
            return QDBusMessage::createError(QDBusError::Disconnected, QStringLiteral("the controller went away"));
        }
    }
    if (!call.isFinished()) {
        return QDBusMessage::createError(QDBusError::Disconnected, QStringLiteral("the controller went away"));
    }
    return call.reply();
}

static QDBusMessage authorizedCall(const QString &method)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(systemdService, managerPath, QString::fromLatin1(OrgFreedesktopSystemd1ManagerInterface::staticInterfaceName()), method);
    // polkit may ask the user for the administrator's password.
    message.setInteractiveAuthorizationAllowed(true);
    return message;
}

SystemdClient::JobOutcome SystemdClient::runJob(Job job, const QString &unitName)
{
    JobOutcome outcome;
    QPointer<SystemdClient> self(this);
    if (!answersNow()) {
        if (self && m_livenessError.type() != QDBusError::ServiceUnknown && m_connection.isConnected()) {
            outcome.kind = JobOutcome::NotAnswering;
        }
        return outcome;
    }
    connectSignals();
    if (!m_subscribed) {
        // Without systemd's signals the job's end would never be heard of.
        outcome.kind = m_reachable ? JobOutcome::NoSignals : JobOutcome::NotAnswering;
        outcome.error = m_subscribeError;
        return outcome;
    }
    static const QString methods[] = {QStringLiteral("StartUnit"), QStringLiteral("StopUnit"), QStringLiteral("RestartUnit")};
    QDBusMessage message = authorizedCall(methods[static_cast<int>(job)]);
    message << unitName << QStringLiteral("replace");

    const QDBusMessage reply = callAndWait(message, authorizedCallTimeoutMs);
    if (!self) {
        outcome.kind = JobOutcome::NoJobEnd;
        return outcome;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        outcome.kind = JobOutcome::CallFailed;
        outcome.error = QDBusError(reply);
        noteError(outcome.error, true);
        return outcome;
    }
    const QString jobPath = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();

    if (!m_finishedJobs.contains(jobPath)) {
        NestedWait wait(this);
        m_jobWaiters.insert(jobPath, &wait);
        if (!wait.exec(jobEndTimeoutMs)) {
            outcome.kind = JobOutcome::NoJobEnd;
            return outcome;
        }
        m_jobWaiters.remove(jobPath, &wait);
    }

    const auto found = m_finishedJobs.constFind(jobPath);
    if (found == m_finishedJobs.constEnd()) {
        outcome.kind = JobOutcome::NoJobEnd;
        qCWarning(ZELADMINTIME_LOG) << "systemd did not report the end of job" << jobPath << "for" << unitName;
    } else {
        outcome.jobResult = *found;
        outcome.kind = *found == QLatin1String("done") ? JobOutcome::Done : JobOutcome::JobFailed;
    }
    // The caller reads the state next: make sure it is the state after the job.
    refreshUnit(unitName);
    return outcome;
}

void SystemdClient::refreshUnit(const QString &unitName)
{
    const QString unitInterface = QString::fromLatin1(OrgFreedesktopSystemd1UnitInterface::staticInterfaceName());
    QDBusPendingCall unitCall = m_connection.asyncCall(getAllMessage(unitName, unitInterface), queryTimeoutMs);
    QDBusPendingCall serviceCall = m_connection.asyncCall(getAllMessage(unitName, serviceInterface), queryTimeoutMs);
    for (QDBusPendingCall *call : {&unitCall, &serviceCall}) {
        call->waitForFinished();
        QDBusPendingReply<QVariantMap> reply = *call;
        if (reply.isError()) {
            noteError(reply.error());
            return;
        }
        applyProperties(unitName, reply.value());
    }
}

bool SystemdClient::setUnitFileEnabled(const QString &unitName, bool enabled, QDBusError *error)
{
    QPointer<SystemdClient> self(this);
    if (!answersNow()) {
        if (self) {
            *error = m_livenessError.isValid() ? m_livenessError : QDBusError(QDBusError::Disconnected, QStringLiteral("no connection to the system bus"));
        }
        return false;
    }
    connectSignals();
    QDBusMessage message = authorizedCall(enabled ? QStringLiteral("EnableUnitFiles") : QStringLiteral("DisableUnitFiles"));
    message << QStringList{unitName} << false; // runtime: no, for good
    if (enabled) {
        message << false; // force: never overwrite someone else's links
    }
    QDBusMessage reply = callAndWait(message, authorizedCallTimeoutMs);
    if (!self) {
        return false;
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *error = QDBusError(reply);
        noteError(*error, true);
        return false;
    }
    // Like systemctl: the manager must read the changed links.
    reply = callAndWait(authorizedCall(QStringLiteral("Reload")), authorizedCallTimeoutMs);
    if (!self) {
        return false;
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        noteError(QDBusError(reply), true);
    }
    refreshUnit(unitName);
    return true;
}
