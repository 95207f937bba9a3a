// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "abstractserviceclass.h"
#include "logictypes.h"
#include "zeladmintime_export.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <memory>

class QWidget;
class LogicControllerPrivate;

// All system work of the time-synchronization module: systemd over D-Bus,
// the package database, configuration files, one-off synchronization.
// Every call is made from the GUI thread; calls that wait for systemd keep
// the event loop running, so a caller must expect re-entrance meanwhile.
class ZELADMINTIME_EXPORT LogicController : public QObject
{
    Q_OBJECT

public:
    explicit LogicController(bool hasEmptyMac, QObject *parent = nullptr);
    ~LogicController() override;

    // Native id of the window that the package manager is made transient for.
    void setMainWindowId(unsigned long long id);
    // Whether systemd answers; emits loginctlUnavailable() when it does not.
    bool getSysAlive();

    // Installed services in row order; values may be null.
    QMap<PackageIndex, AbstractServiceClass *> getInstalledServicesMap() const;
    // Settings page of each installed service, page i for row i. The widgets
    // stay the library's.
    QList<QWidget *> getInstalledServiceWidgets() const;
    // Name of the service whose unit is active, empty when none is.
    QString getActiveServiceName() const;
    // The row that every current-service call below acts on.
    void setCurrentSelectedService(int row);
    bool isMainSettingsAvailable() const;
    bool isSettingsOpened() const;
    // Re-reads units, packages and configuration from the machine.
    void reloadSystemState();

    // State of the selected service from kept state: costs no D-Bus round trip.
    ServiceState getCurrentServiceState();
    int getCurrentServiceEnabling();
    // False when the selected service must not start: an installed service
    // that conflicts with it is active.
    bool isServiceConflicting() const;

    // Each returns when systemd's job has ended.
    void startServiceByDbus(const QString &name);
    void stopServiceByDbus(const QString &name);
    void restartServiceByDbus(const QString &name);
    void enableServiceByDbus(const QString &name);
    void disableServiceByDbus(const QString &name);
    // Empty after a successful start or restart, otherwise why it failed.
    QString getStartResult();

    QStringList getNotInstalledServicesNames() const;
    // Services, installed or not, whose packages conflict with this one's.
    QStringList getConflictedServices(const QString &name) const;
    // False when the package manager could not be started.
    bool tryToInstallService(const QString &name) const;
    bool tryToUninstallCurrentService() const;
    QString getPackageNameByServiceName(const QString &name) const;

    QStringList getListServersToSync() const;
    // Answered by syncOK() or syncError().
    void saveAddrAndSyncNow(const QString &address);
    // Returns at once; answered later by lastSynchroInfoReceived() or
    // lastSynchroInfoTimeout(), never from inside the call.
    void getLastSynchroInfoAsync(int timeoutMs);

    // Answered by confWrited() or confWriteError() before it returns.
    void applyConfig();
    void openMainSettingsDialog() const;

Q_SIGNALS:
    void confWrited();
    void confWriteError();
    void oneServiceChanged();
    void syncOK();
    void syncError(const QString &message);
    void loginctlUnavailable();
    void lastSynchroInfoReceived(const LastSynchroInfo &info);
    void lastSynchroInfoTimeout();

private:
    friend class LogicControllerPrivate;
    std::unique_ptr<LogicControllerPrivate> d;
};
