// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "fakelogiccontroller.h"

#include <QWidget>

FakeService::FakeService(const QByteArray &serviceName, int serviceState, int serviceEnabling)
    : name(serviceName)
    , state(serviceState)
    , enabling(serviceEnabling)
{
}

QLatin1String FakeService::getServiceName() const
{
    return QLatin1String(name.constData(), name.size());
}

ServiceState FakeService::getServiceState() const
{
    return static_cast<ServiceState>(state);
}

int FakeService::getServiceEnabling() const
{
    return enabling;
}

void FakeService::setModelIndex(int index)
{
    modelIndex = index;
    fakeScript().record(QStringLiteral("setModelIndex"), {QString::fromLatin1(name), index});
}

FakeScript &fakeScript()
{
    static FakeScript script;
    return script;
}

void FakeScript::reset()
{
    // Services go after the map that points to them.
    *this = FakeScript();
}

QStringList FakeScript::callNames(const QStringList &only) const
{
    QStringList names;
    for (const FakeCall &call : calls) {
        if (only.isEmpty() || only.contains(call.name)) {
            names.append(call.name);
        }
    }
    return names;
}

int FakeScript::count(const QString &name) const
{
    return callNames({name}).size();
}

QVariantList FakeScript::lastArgs(const QString &name) const
{
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->name == name) {
            return it->args;
        }
    }
    return {};
}

FakeService *FakeScript::addService(PackageIndex key, const QByteArray &name, int state, int enabling)
{
    ownedServices.push_back(std::make_unique<FakeService>(name, state, enabling));
    services.insert(key, ownedServices.back().get());
    return ownedServices.back().get();
}

FakeService *FakeScript::service(const QByteArray &name) const
{
    for (const auto &owned : ownedServices) {
        if (owned->name == name) {
            return owned.get();
        }
    }
    return nullptr;
}

void FakeScript::record(const QString &name, const QVariantList &args)
{
    calls.push_back({name, args});
    const Hook hook = hooks.value(name); // a copy: the hook may replace itself
    if (hook) {
        hook(args);
    }
}

FakeService *FakeScript::selectedService() const
{
    for (AbstractServiceClass *service : services) {
        auto *fake = static_cast<FakeService *>(service);
        if (fake && selectedRow >= 0 && fake->modelIndex == selectedRow) {
            return fake;
        }
    }
    return nullptr;
}

namespace
{
// Records the call, then answers with the script's value as the hook left it.
template<typename T>
T answer(const char *name, T FakeScript::*value, const QVariantList &args = {})
{
    fakeScript().record(QLatin1String(name), args);
    return fakeScript().*value;
}
}

class LogicControllerPrivate
{
};

LogicController::LogicController(bool hasEmptyMac, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<LogicControllerPrivate>())
{
    FakeScript &s = fakeScript();
    s.controller = this;
    s.hasEmptyMac = hasEmptyMac;
    s.parent = parent;
    s.record(QStringLiteral("LogicController"), {hasEmptyMac});
}

LogicController::~LogicController()
{
    fakeScript().calls.push_back({QStringLiteral("~LogicController"), {}});
}

void LogicController::setMainWindowId(unsigned long long id)
{
    fakeScript().record(QStringLiteral("setMainWindowId"), {QVariant::fromValue<qulonglong>(id)});
}

bool LogicController::getSysAlive()
{
    const bool alive = answer("getSysAlive", &FakeScript::sysAlive);
    if (!alive) {
        Q_EMIT loginctlUnavailable();
    }
    return alive;
}

QMap<PackageIndex, AbstractServiceClass *> LogicController::getInstalledServicesMap() const
{
    return answer("getInstalledServicesMap", &FakeScript::services);
}

QList<QWidget *> LogicController::getInstalledServiceWidgets() const
{
    return answer("getInstalledServiceWidgets", &FakeScript::widgets);
}

QString LogicController::getActiveServiceName() const
{
    return answer("getActiveServiceName", &FakeScript::activeName);
}

void LogicController::setCurrentSelectedService(int row)
{
    fakeScript().selectedRow = row;
    fakeScript().record(QStringLiteral("setCurrentSelectedService"), {row});
}

bool LogicController::isMainSettingsAvailable() const
{
    return answer("isMainSettingsAvailable", &FakeScript::mainSettingsAvailable);
}

bool LogicController::isSettingsOpened() const
{
    return answer("isSettingsOpened", &FakeScript::settingsOpened);
}

void LogicController::reloadSystemState()
{
    fakeScript().record(QStringLiteral("reloadSystemState"));
}

ServiceState LogicController::getCurrentServiceState()
{
    fakeScript().record(QStringLiteral("getCurrentServiceState"));
    const FakeService *service = fakeScript().selectedService();
    return static_cast<ServiceState>(service ? service->state : 0);
}

int LogicController::getCurrentServiceEnabling()
{
    fakeScript().record(QStringLiteral("getCurrentServiceEnabling"));
    const FakeService *service = fakeScript().selectedService();
    return service ? service->enabling : 0;
}

bool LogicController::isServiceConflicting() const
{
    return answer("isServiceConflicting", &FakeScript::serviceConflicting);
}

void LogicController::startServiceByDbus(const QString &name)
{
    fakeScript().record(QStringLiteral("startServiceByDbus"), {name});
}

void LogicController::stopServiceByDbus(const QString &name)
{
    fakeScript().record(QStringLiteral("stopServiceByDbus"), {name});
}

void LogicController::restartServiceByDbus(const QString &name)
{
    fakeScript().record(QStringLiteral("restartServiceByDbus"), {name});
}

void LogicController::enableServiceByDbus(const QString &name)
{
    fakeScript().record(QStringLiteral("enableServiceByDbus"), {name});
}

void LogicController::disableServiceByDbus(const QString &name)
{
    fakeScript().record(QStringLiteral("disableServiceByDbus"), {name});
}

QString LogicController::getStartResult()
{
    return answer("getStartResult", &FakeScript::startResult);
}

QStringList LogicController::getNotInstalledServicesNames() const
{
    return answer("getNotInstalledServicesNames", &FakeScript::notInstalledNames);
}

QStringList LogicController::getConflictedServices(const QString &name) const
{
    return answer("getConflictedServices", &FakeScript::conflicts, {name}).value(name);
}

bool LogicController::tryToInstallService(const QString &name) const
{
    return answer("tryToInstallService", &FakeScript::installResult, {name});
}

bool LogicController::tryToUninstallCurrentService() const
{
    return answer("tryToUninstallCurrentService", &FakeScript::uninstallResult);
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    return answer("getPackageNameByServiceName", &FakeScript::packageNames, {name}).value(name, name);
}

QStringList LogicController::getListServersToSync() const
{
    return answer("getListServersToSync", &FakeScript::servers);
}

void LogicController::saveAddrAndSyncNow(const QString &address)
{
    fakeScript().record(QStringLiteral("saveAddrAndSyncNow"), {address});
}

void LogicController::getLastSynchroInfoAsync(int timeoutMs)
{
    fakeScript().record(QStringLiteral("getLastSynchroInfoAsync"), {timeoutMs});
}

void LogicController::applyConfig()
{
    const auto applied = answer("applyConfig", &FakeScript::applyAnswer);
    if (applied == FakeScript::ApplyAnswer::Written) {
        Q_EMIT confWrited();
    } else if (applied == FakeScript::ApplyAnswer::Failed) {
        Q_EMIT confWriteError();
    }
}

void LogicController::openMainSettingsDialog() const
{
    fakeScript().record(QStringLiteral("openMainSettingsDialog"));
}
