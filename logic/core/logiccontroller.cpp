// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "logiccontroller.h"
#include "core/logiccontroller_p.h"

#include "core/startresult.h"
#include "packages/packageinstaller.h"
#include "settingspages/servicesettings.h"
#include "synchro/syncservers.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <limits>

// How long systemd may take to say it is there before we give up on it:
// opening the window waits this long at most for a manager that is hung.
static constexpr int aliveTimeoutMs = 800;
// getSysAlive() after a check this recent reports that check's answer.
static constexpr int aliveReuseMs = 5000;
// A manager that did not answer is asked again at most this often, so that
// the window's poll is not held up by it every time.
static constexpr int aliveRetryMs = 10000;
static constexpr int refreshTimeoutMs = 3000;
// The running service's own tool answers within milliseconds; one that does
// not only loses its server the first place in the sync list.
static constexpr int followedSourceWaitMs = 2000;

static QStringList catalogPackages()
{
    QStringList names;
    for (const ServiceDescription &service : ServiceCatalog::all()) {
        names.append(service.packageName);
    }
    return names;
}

static QStringList catalogUnits()
{
    QStringList names;
    for (const ServiceDescription &service : ServiceCatalog::all()) {
        names.append(service.unitName);
    }
    return names;
}

LogicControllerPrivate::LogicControllerPrivate(LogicController *q)
    : q(q)
    , system(SystemAccess::machine())
    , packages(catalogPackages(), system.root)
    , settings(system)
    , sync(std::make_unique<SyncStatus>(system.bus))
    , systemd(std::make_unique<SystemdClient>(catalogUnits(), system.bus))
{
    for (const ServiceDescription &service : ServiceCatalog::all()) {
        services.push_back(std::make_unique<TimeService>(service, this));
    }
    QObject::connect(systemd.get(), &SystemdClient::unitActivityChanged, sync.get(), [this](const QString &unitName) {
        const ServiceDescription *service = ServiceCatalog::byUnitName(unitName);
        if (!service) {
            return;
        }
        // A new run of the service has its own synchronization to reach.
        sync->forget(service->index);
        if (systemd->unit(unitName).isActive()) {
            sync->refresh(service->index);
        }
    });
}

void LogicControllerPrivate::reload()
{
    packages.load();
    if (!systemd->checkedRecently(std::numeric_limits<int>::max()) || (!systemd->isReachable() && !systemd->checkedRecently(aliveRetryMs))) {
        // A short check before the longer calls; it may also have come back since.
        systemd->ping(aliveTimeoutMs);
    }
    systemd->refreshAll(refreshTimeoutMs);
    const bool unitsKnown = systemd->isReachable();
    installed.clear();
    for (const auto &service : services) {
        const ServiceDescription &desc = service->description();
        // Without systemd the units cannot be asked about: the packages alone tell.
        if (packages.isInstalled(desc.packageName) && (!unitsKnown || systemd->unit(desc.unitName).isKnown())) {
            installed.insert(desc.index, service.get());
        }
    }
}

bool LogicControllerPrivate::isInstalled(const ServiceDescription &service) const
{
    return installed.contains(service.index);
}

const ServiceDescription *LogicControllerPrivate::selected() const
{
    if (currentRow < 0 || currentRow >= installed.size()) {
        return nullptr;
    }
    return &ServiceCatalog::byIndex((installed.cbegin() + currentRow).key());
}

ServiceState LogicControllerPrivate::stateOf(const ServiceDescription &service)
{
    if (!isInstalled(service)) {
        return NoInstalledService;
    }
    if (!systemd->unit(service.unitName).isActive()) {
        return ServiceNotActive;
    }
    return sync->isSynchronized(service.index) ? ServiceSynchronized : ServiceNotSynchronized;
}

int LogicControllerPrivate::enablingOf(const ServiceDescription &service) const
{
    return systemd->unit(service.unitName).isEnabled() ? 1 : 0;
}

LogicController::LogicController(bool hasEmptyMac, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<LogicControllerPrivate>(this))
{
    // The window decides from it whether one-off synchronization is offered.
    Q_UNUSED(hasEmptyMac)
    d->reload();
    d->settings.reload(d->installed.keys());
    connect(&d->settings, &SettingsSet::changed, this, &LogicController::oneServiceChanged);
}

LogicController::~LogicController() = default;

void LogicController::setMainWindowId(unsigned long long id)
{
    d->mainWindowId = id;
}

bool LogicController::getSysAlive()
{
    const bool alive = d->systemd->checkedRecently(aliveReuseMs) ? d->systemd->isReachable() : d->systemd->ping(aliveTimeoutMs);
    if (!alive) {
        Q_EMIT loginctlUnavailable();
    }
    return alive;
}

QMap<PackageIndex, AbstractServiceClass *> LogicController::getInstalledServicesMap() const
{
    return d->installed;
}

QString LogicController::getActiveServiceName() const
{
    for (auto it = d->installed.cbegin(); it != d->installed.cend(); ++it) {
        const ServiceDescription &service = ServiceCatalog::byIndex(it.key());
        if (d->systemd->unit(service.unitName).isActive()) {
            return service.serviceName;
        }
    }
    return QString();
}

void LogicController::setCurrentSelectedService(int row)
{
    d->currentRow = row;
}

void LogicController::reloadSystemState()
{
    d->reload();
    d->settings.reload(d->installed.keys());
}

ServiceState LogicController::getCurrentServiceState()
{
    const ServiceDescription *service = d->selected();
    return service ? d->stateOf(*service) : NoInstalledService;
}

int LogicController::getCurrentServiceEnabling()
{
    const ServiceDescription *service = d->selected();
    return service ? d->enablingOf(*service) : 0;
}

bool LogicController::isServiceConflicting() const
{
    const ServiceDescription *service = d->selected();
    if (!service) {
        return true;
    }
    const UnitState unit = d->systemd->unit(service->unitName);
    for (auto it = d->installed.cbegin(); it != d->installed.cend(); ++it) {
        const ServiceDescription &other = ServiceCatalog::byIndex(it.key());
        if (other.index == service->index) {
            continue;
        }
        const UnitState otherUnit = d->systemd->unit(other.unitName);
        if (!otherUnit.isActive()) {
            continue;
        }
        if (unit.conflictsWith(other.unitName) || otherUnit.conflictsWith(service->unitName) || d->packages.conflict(service->packageName, other.packageName)) {
            return false;
        }
    }
    return true;
}

static const ServiceDescription *serviceNamed(const QString &name)
{
    const ServiceDescription *service = ServiceCatalog::byServiceName(name);
    if (!service) {
        qCWarning(ZELADMINTIME_LOG) << "no such time service:" << name;
    }
    return service;
}

static QWidget *mainWindow(const LogicControllerPrivate &d);

// The window shows start and restart failures from getStartResult(); the
// library tells of the others itself. Nothing to show without widgets.
static void warnUser(const LogicControllerPrivate &d, const QString &text, const QString &details = QString())
{
    qCWarning(ZELADMINTIME_LOG).noquote() << text << details;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return;
    }
    // The window may go while the box is open, and the box with it.
    QPointer<QMessageBox> box =
        new QMessageBox(QMessageBox::Warning, ki18nd("kcm_zel_admin_time", "Warning!").toString(), text, QMessageBox::Ok, mainWindow(d));
    box->setDetailedText(details);
    box->exec();
    delete box.data();
}

// Start and restart: the outcome becomes the start result.
static void runStartJob(LogicController *q, LogicControllerPrivate *d, SystemdClient::Job job, const QString &name)
{
    d->startResult.clear();
    const ServiceDescription *service = serviceNamed(name);
    if (!service) {
        d->startResult = ki18nd("kcm_zel_admin_time", "There is no time service called \"%1\".").subs(name).toString();
        return;
    }
    // No early return for an unreachable systemd: it may have come back,
    // and runJob() finds out within seconds.
    const QString unitName = service->unitName;
    QPointer<LogicController> alive(q);
    const SystemdClient::JobOutcome outcome = d->systemd->runJob(job, unitName);
    if (!alive) {
        return; // the window went away while systemd worked
    }
    d->startResult = StartResult::describe(job, name, outcome, d->systemd->unit(unitName));
    if (!d->startResult.isEmpty()) {
        qCWarning(ZELADMINTIME_LOG).noquote() << d->startResult;
    }
}

void LogicController::startServiceByDbus(const QString &name)
{
    runStartJob(this, d.get(), SystemdClient::Job::Start, name);
}

void LogicController::restartServiceByDbus(const QString &name)
{
    runStartJob(this, d.get(), SystemdClient::Job::Restart, name);
}

void LogicController::stopServiceByDbus(const QString &name)
{
    const ServiceDescription *service = serviceNamed(name);
    if (!service) {
        return;
    }
    const QString unitName = service->unitName;
    QPointer<LogicController> alive(this);
    const SystemdClient::JobOutcome outcome = d->systemd->runJob(SystemdClient::Job::Stop, unitName);
    if (alive && outcome.kind != SystemdClient::JobOutcome::Done) {
        warnUser(*d, StartResult::describe(SystemdClient::Job::Stop, name, outcome, d->systemd->unit(unitName)));
    }
}

static void setEnabled(LogicController *q, LogicControllerPrivate *d, const QString &name, bool enabled)
{
    const ServiceDescription *service = serviceNamed(name);
    if (!service) {
        return;
    }
    QPointer<LogicController> alive(q);
    QDBusError error;
    if (d->systemd->setUnitFileEnabled(service->unitName, enabled, &error) || !alive) {
        return;
    }
    const QString reason = error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout || error.type() == QDBusError::TimedOut
        ? ki18nd("kcm_zel_admin_time", "systemd does not answer; it may be busy or hung.").toString()
        : StartResult::reason(error);
    warnUser(*d,
             enabled ? ki18nd("kcm_zel_admin_time", "%1 could not be set to start at system startup: %2").subs(name).subs(reason).toString()
                     : ki18nd("kcm_zel_admin_time", "%1 could not be kept from starting at system startup: %2").subs(name).subs(reason).toString());
}

void LogicController::enableServiceByDbus(const QString &name)
{
    setEnabled(this, d.get(), name, true);
}

void LogicController::disableServiceByDbus(const QString &name)
{
    setEnabled(this, d.get(), name, false);
}

QString LogicController::getStartResult()
{
    return d->startResult;
}

QStringList LogicController::getNotInstalledServicesNames() const
{
    // Synaptic may have run since the last reload.
    d->packages.refresh();
    QStringList names;
    for (const ServiceDescription &service : ServiceCatalog::all()) {
        if (!d->packages.isInstalled(service.packageName)) {
            names.append(service.serviceName);
        }
    }
    return names;
}

QStringList LogicController::getConflictedServices(const QString &name) const
{
    const ServiceDescription *service = ServiceCatalog::byServiceName(name);
    QStringList names;
    if (!service) {
        return names;
    }
    d->packages.refresh();
    for (const ServiceDescription &other : ServiceCatalog::all()) {
        if (other.index != service->index && d->packages.conflict(service->packageName, other.packageName)) {
            names.append(other.serviceName);
        }
    }
    return names;
}

bool LogicController::tryToInstallService(const QString &name) const
{
    const ServiceDescription *service = serviceNamed(name);
    if (!service) {
        return false;
    }
    return PackageInstaller::run(service->packageName, PackageInstaller::Action::Install, d->mainWindowId, this);
}

bool LogicController::tryToUninstallCurrentService() const
{
    const ServiceDescription *service = d->selected();
    if (!service) {
        qCWarning(ZELADMINTIME_LOG) << "no service is selected for removal";
        return false;
    }
    return PackageInstaller::run(service->packageName, PackageInstaller::Action::Remove, d->mainWindowId, this);
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    const ServiceDescription *service = ServiceCatalog::byServiceName(name);
    return service ? QString(service->packageName) : QString();
}

// ---------------------------------------------------------------------------
// Settings pages and configuration writing (logic/settingspages).
// ---------------------------------------------------------------------------

// The window given by setMainWindowId(), when it is a widget of this process.
static QWidget *mainWindow(const LogicControllerPrivate &d)
{
    if (d.mainWindowId == 0 || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return nullptr;
    }
    QWidget *widget = QWidget::find(WId(d.mainWindowId));
    return widget ? widget->window() : nullptr;
}

QList<QWidget *> LogicController::getInstalledServiceWidgets() const
{
    d->settings.setWindow(mainWindow(*d));
    return d->settings.pages(d->installed.keys());
}

bool LogicController::isMainSettingsAvailable() const
{
    const ServiceDescription *service = d->selected();
    const ServiceSettings *settings = service ? d->settings.settings(service->index) : nullptr;
    return settings && settings->hasMainSettings();
}

bool LogicController::isSettingsOpened() const
{
    return d->settings.isDialogOpen();
}

void LogicController::openMainSettingsDialog() const
{
    const ServiceDescription *service = d->selected();
    ServiceSettings *settings = service ? d->settings.settings(service->index) : nullptr;
    if (!settings || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return;
    }
    QWidget *parent = mainWindow(*d);
    settings->openMainSettingsDialog(parent ? parent : settings->page()->window());
}

void LogicController::applyConfig()
{
    d->settings.setWindow(mainWindow(*d));
    QList<PackageIndex> written;
    QPointer<LogicController> alive(this);
    const bool allWritten = d->settings.writeModified(d->installed.keys(), &written);
    if (!alive) {
        return; // the window went away while the helper was asked
    }
    // A running service reads its configuration only when it starts. The
    // state kept may be stale when systemd does not answer: the restart then
    // fails and says so.
    for (PackageIndex index : std::as_const(written)) {
        const ServiceDescription &service = ServiceCatalog::byIndex(index);
        if (d->systemd->unit(service.unitName).isActive()) {
            restartServiceByDbus(service.serviceName);
            if (!alive) {
                return; // the window went away while systemd worked
            }
            if (!d->startResult.isEmpty()) {
                warnUser(*d,
                         ki18nd("kcm_zel_admin_time", "The settings of %1 were saved, but the service did not restart with them:\n%2")
                             .subs(QString(service.serviceName))
                             .subs(d->startResult)
                             .toString());
                if (!alive) {
                    return;
                }
            }
        }
    }
    if (allWritten) {
        Q_EMIT confWrited();
        return;
    }
    // The failed service's page says why, in place; the window says that
    // the save failed.
    Q_EMIT confWriteError();
}

// ---------------------------------------------------------------------------
// One-off synchronization and last-synchronization info.
// ---------------------------------------------------------------------------

QStringList LogicController::getListServersToSync() const
{
    // The server the running service follows answers: it comes first.
    const ServiceDescription *active = ServiceCatalog::byServiceName(getActiveServiceName());
    QPointer<const LogicController> alive(this);
    const QString followed = active ? SyncServers::followed(active->index, d->system.bus, followedSourceWaitMs) : QString();
    if (!alive) {
        return {}; // the window went away meanwhile
    }
    // Then the installed services' servers as the settings pages hold them:
    // what was read from disk, with any edit not yet saved.
    return SyncServers::merged(QStringList{followed} + d->settings.configuredServers(d->installed.keys()), SyncServers::history());
}

void LogicController::saveAddrAndSyncNow(const QString &address)
{
    if (!d->oneShotSync) {
        d->oneShotSync = std::make_unique<OneShotSync>();
        connect(d->oneShotSync.get(), &OneShotSync::succeeded, this, &LogicController::syncOK);
        connect(d->oneShotSync.get(), &OneShotSync::failed, this, &LogicController::syncError);
    }
    // Answers by signal later; a refused address is not remembered.
    if (d->oneShotSync->start(address)) {
        SyncServers::remember(address);
    }
}

void LogicController::getLastSynchroInfoAsync(int timeoutMs)
{
    if (!d->lastSyncReader) {
        d->lastSyncReader = std::make_unique<LastSyncReader>(d->system.bus);
        connect(d->lastSyncReader.get(), &LastSyncReader::received, this, &LogicController::lastSynchroInfoReceived);
        connect(d->lastSyncReader.get(), &LastSyncReader::timedOut, this, &LogicController::lastSynchroInfoTimeout);
    }
    // While a request is outstanding its answer serves this call as well.
    d->lastSyncReader->request(getActiveServiceName(), timeoutMs);
}
