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
    , connection(bus)
    , unitNames(names)
{
    for (const QString &name : names) {
        units.insert(name, UnitState());
    }
    reachable = connection.isConnected();
    if (!reachable) {
        qCWarning(ZELADMINTIME_LOG) << "no connection to the system bus:" << connection.lastError().message();
    }
}

// Whoever waits in a nested loop gets back to its caller by itself (NestedWait).
SystemdClient::~SystemdClient() = default;

void SystemdClient::connectSignals()
{
    if (subscribed || !connection.isConnected()) {
        return;
    }
    // Without a subscription systemd sends no unit or job signals.
    QDBusMessage subscribe = QDBusMessage::createMethodCall(systemdService,
                                                            managerPath,
                                                            QString::fromLatin1(OrgFreedesktopSystemd1ManagerInterface::staticInterfaceName()),
                                                            QStringLiteral("Subscribe"));
    const QDBusMessage reply = connection.call(subscribe, QDBus::Block, livenessTimeoutMs);
    // The subscription belongs to the bus connection, which an earlier
    // controller of this process may have made already.
    if (reply.type() == QDBusMessage::ErrorMessage && reply.errorName() != QLatin1String("org.freedesktop.systemd1.AlreadySubscribed")) {
        subscribeError = QDBusError(reply);
        noteError(subscribeError);
        return;
    }
    subscribed = true;

    manager = new OrgFreedesktopSystemd1ManagerInterface(systemdService, managerPath, connection, this);
    connect(manager, &OrgFreedesktopSystemd1ManagerInterface::JobRemoved, this, &SystemdClient::onJobRemoved);
    connect(manager, &OrgFreedesktopSystemd1ManagerInterface::UnitFilesChanged, this, &SystemdClient::fetchAllAsync);
    connect(manager, &OrgFreedesktopSystemd1ManagerInterface::Reloading, this, [this](bool active) {
        if (!active) {
            fetchAllAsync();
        }
    });
    for (const QString &name : qAsConst(unitNames)) {
        auto *proxy = new OrgFreedesktopDBusPropertiesInterface(systemdService, unitObjectPath(name), connection, this);
        connect(proxy,
                &OrgFreedesktopDBusPropertiesInterface::PropertiesChanged,
                this,
                [this, name](const QString &interfaceName, const QVariantMap &changed, const QStringList &invalidated) {
                    onPropertiesChanged(name, interfaceName, changed, invalidated);
                });
        unitProxies.append(proxy);
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
    reachable = reply.type() == QDBusMessage::ReplyMessage;
    livenessError = QDBusError(reply);
    lastLiveness.start();
    if (!reachable) {
        qCWarning(ZELADMINTIME_LOG) << "systemd does not answer:" << reply.errorName() << reply.errorMessage();
    }
}

bool SystemdClient::ping(int timeoutMs)
{
    if (!connection.isConnected()) {
        reachable = false;
        lastLiveness.start();
        return false;
    }
    noteLiveness(connection.call(livenessMessage(), QDBus::Block, timeoutMs));
    return reachable;
}

bool SystemdClient::checkedRecently(int maxAgeMs) const
{
    return lastLiveness.isValid() && !lastLiveness.hasExpired(maxAgeMs);
}

bool SystemdClient::answersNow()
{
    if (!connection.isConnected()) {
        reachable = false;
        return false;
    }
    QPointer<SystemdClient> self(this);
    const QDBusMessage reply = callAndWait(livenessMessage(), livenessTimeoutMs);
    if (!self) {
        return false;
    }
    noteLiveness(reply);
    return reachable;
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
        if (reachable) {
            qCWarning(ZELADMINTIME_LOG) << "systemd cannot be reached:" << error.message();
        }
        reachable = false;
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
    if (!reachable) {
        return;
    }
    connectSignals();
    if (!reachable) {
        return;
    }
    // All questions at once, then the answers: one round trip's wait.
    struct Pending {
        QString unitName;
        QDBusPendingCall call;
    };
    QVector<Pending> pending;
    const QString unitInterface = QString::fromLatin1(OrgFreedesktopSystemd1UnitInterface::staticInterfaceName());
    for (const QString &name : qAsConst(unitNames)) {
        pending.append({name, connection.asyncCall(getAllMessage(name, unitInterface), timeoutMs)});
        pending.append({name, connection.asyncCall(getAllMessage(name, serviceInterface), timeoutMs)});
    }
    for (Pending &p : pending) {
        p.call.waitForFinished();
        QDBusPendingReply<QVariantMap> reply = p.call;
        if (reply.isError()) {
            noteError(reply.error());
            if (!reachable) {
                return;
            }
            continue;
        }
        applyProperties(p.unitName, reply.value());
    }
}

void SystemdClient::fetchAsync(const QString &unitName)
{
    if (!reachable) {
        return;
    }
    const QString unitInterface = QString::fromLatin1(OrgFreedesktopSystemd1UnitInterface::staticInterfaceName());
    for (const QString &interfaceName : {unitInterface, serviceInterface}) {
        auto *watcher = new QDBusPendingCallWatcher(connection.asyncCall(getAllMessage(unitName, interfaceName), queryTimeoutMs), this);
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
    for (const QString &name : qAsConst(unitNames)) {
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
    auto it = units.find(unitName);
    if (it == units.end()) {
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
    return units.value(unitName);
}

void SystemdClient::onJobRemoved(uint id, const QDBusObjectPath &job, const QString &unitName, const QString &result)
{
    Q_UNUSED(id)
    const QString path = job.path();
    if (!finishedJobs.contains(path)) {
        finishedOrder.enqueue(path);
        while (finishedOrder.size() > finishedJobsKept) {
            finishedJobs.remove(finishedOrder.dequeue());
        }
    }
    finishedJobs.insert(path, result);
    const auto waiters = jobWaiters.values(path);
    for (NestedWait *wait : waiters) {
        wait->quit();
    }
    if (units.contains(unitName)) {
        fetchAsync(unitName);
    }
}

QDBusMessage SystemdClient::callAndWait(const QDBusMessage &message, int timeoutMs)
{
    QDBusPendingCall call = connection.asyncCall(message, timeoutMs);
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
        if (self && livenessError.type() != QDBusError::ServiceUnknown && connection.isConnected()) {
            outcome.kind = JobOutcome::NotAnswering;
        }
        return outcome;
    }
    connectSignals();
    if (!subscribed) {
        // Without systemd's signals the job's end would never be heard of.
        outcome.kind = reachable ? JobOutcome::NoSignals : JobOutcome::NotAnswering;
        outcome.error = subscribeError;
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

    if (!finishedJobs.contains(jobPath)) {
        NestedWait wait(this);
        jobWaiters.insert(jobPath, &wait);
        if (!wait.exec(jobEndTimeoutMs)) {
            outcome.kind = JobOutcome::NoJobEnd;
            return outcome;
        }
        jobWaiters.remove(jobPath, &wait);
    }

    const auto found = finishedJobs.constFind(jobPath);
    if (found == finishedJobs.constEnd()) {
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
    QDBusPendingCall unitCall = connection.asyncCall(getAllMessage(unitName, unitInterface), queryTimeoutMs);
    QDBusPendingCall serviceCall = connection.asyncCall(getAllMessage(unitName, serviceInterface), queryTimeoutMs);
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
            *error = livenessError.isValid() ? livenessError : QDBusError(QDBusError::Disconnected, QStringLiteral("no connection to the system bus"));
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
