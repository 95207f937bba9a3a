// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "logiccontroller.h"
#include "logiccontroller_p.h"

#include <KLocalizedString>
#include <QTimer>

LogicControllerPrivate::LogicControllerPrivate(LogicController *q, bool hasEmptyMac)
    : q(q)
    , hasEmptyMac(hasEmptyMac)
{
}

LogicController::LogicController(bool hasEmptyMac, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<LogicControllerPrivate>(this, hasEmptyMac))
{
}

LogicController::~LogicController() = default;

void LogicController::setMainWindowId(unsigned long long id)
{
    d->mainWindowId = id;
}

bool LogicController::getSysAlive()
{
    return true;
}

QMap<PackageIndex, AbstractServiceClass *> LogicController::getInstalledServicesMap() const
{
    return {};
}

QString LogicController::getActiveServiceName() const
{
    return {};
}

void LogicController::setCurrentSelectedService(int row)
{
    d->currentRow = row;
}

void LogicController::reloadSystemState()
{
}

ServiceState LogicController::getCurrentServiceState()
{
    return NoInstalledService;
}

int LogicController::getCurrentServiceEnabling()
{
    return 0;
}

bool LogicController::isServiceConflicting() const
{
    return true;
}

void LogicController::startServiceByDbus(const QString &name)
{
    Q_UNUSED(name)
}

void LogicController::stopServiceByDbus(const QString &name)
{
    Q_UNUSED(name)
}

void LogicController::restartServiceByDbus(const QString &name)
{
    Q_UNUSED(name)
}

void LogicController::enableServiceByDbus(const QString &name)
{
    Q_UNUSED(name)
}

void LogicController::disableServiceByDbus(const QString &name)
{
    Q_UNUSED(name)
}

QString LogicController::getStartResult()
{
    return d->startResult;
}

QStringList LogicController::getNotInstalledServicesNames() const
{
    return {};
}

QStringList LogicController::getConflictedServices(const QString &name) const
{
    Q_UNUSED(name)
    return {};
}

bool LogicController::tryToInstallService(const QString &name) const
{
    Q_UNUSED(name)
    return false;
}

bool LogicController::tryToUninstallCurrentService() const
{
    return false;
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    Q_UNUSED(name)
    return {};
}

// ---------------------------------------------------------------------------
// Settings pages, configuration writing, one-off synchronization and
// last-synchronization info. Not implemented yet: each member does the least
// that keeps the window honest.
// ---------------------------------------------------------------------------

QList<QWidget *> LogicController::getInstalledServiceWidgets() const
{
    // No settings pages yet.
    return {};
}

bool LogicController::isMainSettingsAvailable() const
{
    return false;
}

bool LogicController::isSettingsOpened() const
{
    return false;
}

void LogicController::openMainSettingsDialog() const
{
}

void LogicController::applyConfig()
{
    // Nothing can be written yet; say so before returning.
    Q_EMIT confWriteError();
}

QStringList LogicController::getListServersToSync() const
{
    return {};
}

void LogicController::saveAddrAndSyncNow(const QString &address)
{
    Q_UNUSED(address)
    const QString message = ki18nd("kcm_zel_admin_time", "Synchronizing the clock once is not available in this version.").toString();
    QTimer::singleShot(0, this, [this, message] {
        Q_EMIT syncError(message);
    });
}

void LogicController::getLastSynchroInfoAsync(int timeoutMs)
{
    Q_UNUSED(timeoutMs)
    // An empty answer, never the time-out: the window would stop asking for good.
    QTimer::singleShot(0, this, [this] {
        Q_EMIT lastSynchroInfoReceived(LastSynchroInfo());
    });
}
