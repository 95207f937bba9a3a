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
    ++setModelIndexCalls;
    fakeScript().record(QStringLiteral("setModelIndex"), {QString::fromLatin1(name), index});
}

FakeScript &fakeScript()
{
    static FakeScript script;
    return script;
}

void FakeScript::reset()
{
    services.clear();
    widgets.clear();
    activeName.clear();
    sysAlive = true;
    mainSettingsAvailable = true;
    settingsOpened = false;
    serviceConflicting = true;
    startResult.clear();
    noServiceState = 0;
    noServiceEnabling = 0;
    notInstalledNames.clear();
    conflicts.clear();
    installResult = true;
    uninstallResult = true;
    packageNames.clear();
    servers.clear();
    applyAnswer = ApplyAnswer::Written;
    calls.clear();
    hooks.clear();
    ownedServices.clear();
    controller.clear();
    hasEmptyMac = false;
    parent = nullptr;
    selectedRow = -1;
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
    int n = 0;
    for (const FakeCall &call : calls) {
        if (call.name == name) {
            ++n;
        }
    }
    return n;
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

void FakeScript::clearCalls()
{
    calls.clear();
}

void FakeScript::onCall(const QString &name, Hook hook)
{
    hooks.insert(name, std::move(hook));
}

void FakeScript::clearHooks()
{
    hooks.clear();
}

FakeService *FakeScript::addService(PackageIndex key, const QByteArray &name, int state, int enabling)
{
    ownedServices.push_back(std::make_unique<FakeService>(name, state, enabling));
    FakeService *service = ownedServices.back().get();
    services.insert(key, service);
    return service;
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
    // A copy: the hook may replace itself.
    const Hook hook = hooks.value(name);
    if (hook) {
        hook(args);
    }
}

FakeService *FakeScript::selectedService() const
{
    if (selectedRow < 0) {
        return nullptr;
    }
    for (AbstractServiceClass *service : services) {
        auto *fake = static_cast<FakeService *>(service);
        if (fake && fake->modelIndex == selectedRow) {
            return fake;
        }
    }
    return nullptr;
}

class LogicControllerPrivate
{
public:
    bool hasEmptyMac = false;
};

LogicController::LogicController(bool hasEmptyMac, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<LogicControllerPrivate>())
{
    d->hasEmptyMac = hasEmptyMac;
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
    FakeScript &s = fakeScript();
    s.record(QStringLiteral("getSysAlive"));
    if (!s.sysAlive) {
        Q_EMIT loginctlUnavailable();
    }
    return s.sysAlive;
}

QMap<PackageIndex, AbstractServiceClass *> LogicController::getInstalledServicesMap() const
{
    fakeScript().record(QStringLiteral("getInstalledServicesMap"));
    return fakeScript().services;
}

QList<QWidget *> LogicController::getInstalledServiceWidgets() const
{
    fakeScript().record(QStringLiteral("getInstalledServiceWidgets"));
    return fakeScript().widgets;
}

QString LogicController::getActiveServiceName() const
{
    fakeScript().record(QStringLiteral("getActiveServiceName"));
    return fakeScript().activeName;
}

void LogicController::setCurrentSelectedService(int row)
{
    fakeScript().selectedRow = row;
    fakeScript().record(QStringLiteral("setCurrentSelectedService"), {row});
}

bool LogicController::isMainSettingsAvailable() const
{
    fakeScript().record(QStringLiteral("isMainSettingsAvailable"));
    return fakeScript().mainSettingsAvailable;
}

bool LogicController::isSettingsOpened() const
{
    fakeScript().record(QStringLiteral("isSettingsOpened"));
    return fakeScript().settingsOpened;
}

void LogicController::reloadSystemState()
{
    fakeScript().record(QStringLiteral("reloadSystemState"));
}

ServiceState LogicController::getCurrentServiceState()
{
    FakeScript &s = fakeScript();
    s.record(QStringLiteral("getCurrentServiceState"));
    const FakeService *service = s.selectedService();
    return static_cast<ServiceState>(service ? service->state : s.noServiceState);
}

int LogicController::getCurrentServiceEnabling()
{
    FakeScript &s = fakeScript();
    s.record(QStringLiteral("getCurrentServiceEnabling"));
    const FakeService *service = s.selectedService();
    return service ? service->enabling : s.noServiceEnabling;
}

bool LogicController::isServiceConflicting() const
{
    fakeScript().record(QStringLiteral("isServiceConflicting"));
    return fakeScript().serviceConflicting;
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
    fakeScript().record(QStringLiteral("getStartResult"));
    return fakeScript().startResult;
}

QStringList LogicController::getNotInstalledServicesNames() const
{
    fakeScript().record(QStringLiteral("getNotInstalledServicesNames"));
    return fakeScript().notInstalledNames;
}

QStringList LogicController::getConflictedServices(const QString &name) const
{
    fakeScript().record(QStringLiteral("getConflictedServices"), {name});
    return fakeScript().conflicts.value(name);
}

bool LogicController::tryToInstallService(const QString &name) const
{
    fakeScript().record(QStringLiteral("tryToInstallService"), {name});
    return fakeScript().installResult;
}

bool LogicController::tryToUninstallCurrentService() const
{
    fakeScript().record(QStringLiteral("tryToUninstallCurrentService"));
    return fakeScript().uninstallResult;
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    fakeScript().record(QStringLiteral("getPackageNameByServiceName"), {name});
    return fakeScript().packageNames.value(name, name);
}

QStringList LogicController::getListServersToSync() const
{
    fakeScript().record(QStringLiteral("getListServersToSync"));
    return fakeScript().servers;
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
    FakeScript &s = fakeScript();
    s.record(QStringLiteral("applyConfig"));
    switch (s.applyAnswer) {
    case FakeScript::ApplyAnswer::Written:
        Q_EMIT confWrited();
        break;
    case FakeScript::ApplyAnswer::Failed:
        Q_EMIT confWriteError();
        break;
    case FakeScript::ApplyAnswer::Silent:
        break;
    }
}

void LogicController::openMainSettingsDialog() const
{
    fakeScript().record(QStringLiteral("openMainSettingsDialog"));
}
