// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "fakelogiccontroller.h"

QLatin1String FakeService::getServiceName() const
{
    return QLatin1String(name);
}

ServiceState FakeService::getServiceState() const
{
    return ServiceState(state);
}

int FakeService::getServiceEnabling() const
{
    return enabling;
}

void FakeService::setModelIndex(int index)
{
    row = index;
}

FakeScript &fakeScript()
{
    static FakeScript script;
    return script;
}

FakeService *FakeScript::add(PackageIndex key, const char *name, int state, int enabling)
{
    owned.push_back(std::make_unique<FakeService>());
    FakeService *service = owned.back().get();
    service->name = name;
    service->state = state;
    service->enabling = enabling;
    services.insert(key, service);
    return service;
}

FakeService *FakeScript::service(const char *name) const
{
    for (const auto &service : owned) {
        if (service->name == name) {
            return service.get();
        }
    }
    return nullptr;
}

FakeService *FakeScript::selected() const
{
    for (AbstractServiceClass *service : services) {
        auto *fake = static_cast<FakeService *>(service);
        if (fake && selectedRow >= 0 && fake->row == selectedRow) {
            return fake;
        }
    }
    return nullptr;
}

int FakeScript::count(const QString &name) const
{
    return named({name}).size();
}

QStringList FakeScript::named(const QStringList &names) const
{
    QStringList found;
    for (const QString &call : calls) {
        if (names.contains(call.section(QLatin1Char(' '), 0, 0))) {
            found << call;
        }
    }
    return found;
}

void FakeScript::record(const QString &name, const QVariant &arg)
{
    calls << (arg.isValid() ? name + QLatin1Char(' ') + arg.toString() : name);
    const auto hook = hooks.value(name); // a copy: the hook may replace itself
    if (hook) {
        hook();
    }
}

namespace
{
// Records the call, then answers with the script's value as a hook left it.
template<typename T>
T answer(const char *name, T FakeScript::*value, const QVariant &arg = {})
{
    fakeScript().record(QLatin1String(name), arg);
    return fakeScript().*value;
}
}

// The members that only record, or record and answer from the script.
#define ZEL_RECORD(method)                                                                                                                                     \
    void LogicController::method(const QString &name)                                                                                                          \
    {                                                                                                                                                          \
        fakeScript().record(QStringLiteral(#method), name);                                                                                                    \
    }
using ServiceMap = QMap<PackageIndex, AbstractServiceClass *>;
#define ZEL_ANSWER(type, method, value, qualifier)                                                                                                             \
    type LogicController::method() qualifier                                                                                                                   \
    {                                                                                                                                                          \
        return answer(#method, &FakeScript::value);                                                                                                            \
    }
#define ZEL_RECORD0(method, qualifier)                                                                                                                         \
    void LogicController::method() qualifier                                                                                                                   \
    {                                                                                                                                                          \
        fakeScript().record(QStringLiteral(#method));                                                                                                          \
    }
ZEL_RECORD0(reloadSystemState, )
ZEL_RECORD0(openMainSettingsDialog, const)
ZEL_RECORD(startServiceByDbus)
ZEL_RECORD(stopServiceByDbus)
ZEL_RECORD(restartServiceByDbus)
ZEL_RECORD(enableServiceByDbus)
ZEL_RECORD(disableServiceByDbus)
ZEL_RECORD(saveAddrAndSyncNow)
ZEL_ANSWER(ServiceMap, getInstalledServicesMap, services, const)
ZEL_ANSWER(QList<QWidget *>, getInstalledServiceWidgets, widgets, const)
ZEL_ANSWER(QString, getActiveServiceName, activeName, const)
ZEL_ANSWER(bool, isSettingsOpened, settingsOpened, const)
ZEL_ANSWER(bool, isServiceConflicting, startAllowed, const)
ZEL_ANSWER(QString, getStartResult, startResult, )
ZEL_ANSWER(QStringList, getNotInstalledServicesNames, notInstalled, const)
ZEL_ANSWER(QStringList, getListServersToSync, servers, const)

class LogicControllerPrivate
{
};

LogicController::LogicController(bool, QObject *parent)
    : QObject(parent)
{
    fakeScript().controller = this;
}

LogicController::~LogicController()
{
    fakeScript().calls << QStringLiteral("~LogicController");
}

void LogicController::setMainWindowId(unsigned long long)
{
}

bool LogicController::isMainSettingsAvailable() const
{
    return true;
}

bool LogicController::getSysAlive()
{
    const bool alive = answer("getSysAlive", &FakeScript::sysAlive);
    if (!alive) {
        Q_EMIT loginctlUnavailable();
    }
    return alive;
}

void LogicController::setCurrentSelectedService(int row)
{
    fakeScript().selectedRow = row;
    fakeScript().record(QStringLiteral("setCurrentSelectedService"), row);
}

ServiceState LogicController::getCurrentServiceState()
{
    fakeScript().record(QStringLiteral("getCurrentServiceState"));
    return ServiceState(fakeScript().selected() ? fakeScript().selected()->state : 0);
}

int LogicController::getCurrentServiceEnabling()
{
    fakeScript().record(QStringLiteral("getCurrentServiceEnabling"));
    return fakeScript().selected() ? fakeScript().selected()->enabling : 0;
}

QStringList LogicController::getConflictedServices(const QString &name) const
{
    return answer("getConflictedServices", &FakeScript::conflicts, name).value(name);
}

bool LogicController::tryToInstallService(const QString &name) const
{
    return answer("tryToInstallService", &FakeScript::packageManagerStarts, name);
}

bool LogicController::tryToUninstallCurrentService() const
{
    const FakeService *service = fakeScript().selected();
    return answer("tryToUninstallCurrentService", &FakeScript::packageManagerStarts, service ? QString::fromLatin1(service->name) : QString());
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    fakeScript().record(QStringLiteral("getPackageNameByServiceName"), name);
    return name + QLatin1String("-pkg");
}

void LogicController::getLastSynchroInfoAsync(int timeoutMs)
{
    fakeScript().record(QStringLiteral("getLastSynchroInfoAsync"), timeoutMs);
}

void LogicController::applyConfig()
{
    const auto applied = answer("applyConfig", &FakeScript::applyAnswer);
    if (applied == FakeScript::Written) {
        Q_EMIT confWrited();
    } else if (applied == FakeScript::Failed) {
        Q_EMIT confWriteError();
    }
}
