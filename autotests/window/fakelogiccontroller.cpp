// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "fakelogiccontroller.h"

FakeScript &fakeScript()
{
    static FakeScript script;
    return script;
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
#define ZEL_RECORD(method, type)                                                                                                                               \
    void LogicController::method(type arg)                                                                                                                     \
    {                                                                                                                                                          \
        fakeScript().record(QStringLiteral(#method), arg);                                                                                                     \
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
ZEL_RECORD(startServiceByDbus, const QString &)
ZEL_RECORD(stopServiceByDbus, const QString &)
ZEL_RECORD(restartServiceByDbus, const QString &)
ZEL_RECORD(enableServiceByDbus, const QString &)
ZEL_RECORD(disableServiceByDbus, const QString &)
ZEL_RECORD(saveAddrAndSyncNow, const QString &)
ZEL_RECORD(getLastSynchroInfoAsync, int)
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
    return ServiceState(fakeScript().service(nullptr) ? fakeScript().service(nullptr)->state : 0);
}

int LogicController::getCurrentServiceEnabling()
{
    fakeScript().record(QStringLiteral("getCurrentServiceEnabling"));
    return fakeScript().service(nullptr) ? fakeScript().service(nullptr)->enabling : 0;
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
    const FakeService *service = fakeScript().service(nullptr);
    return answer("tryToUninstallCurrentService", &FakeScript::packageManagerStarts, service ? QString::fromLatin1(service->name) : QString());
}

QString LogicController::getPackageNameByServiceName(const QString &name) const
{
    fakeScript().record(QStringLiteral("getPackageNameByServiceName"), name);
    return name + QLatin1String("-pkg");
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
