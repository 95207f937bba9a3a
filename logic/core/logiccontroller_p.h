// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logiccontroller.h"

#include "catalog/servicecatalog.h"
#include "common/systemaccess.h"
#include "core/timeservice.h"
#include "packages/packagedatabase.h"
#include "settingspages/settingsset.h"
#include "synchro/oneshotsync.h"
#include "syncstate/lastsyncreader.h"
#include "syncstate/syncstatus.h"
#include "systemd/systemdclient.h"

#include <memory>
#include <vector>

class LogicControllerPrivate
{
public:
    explicit LogicControllerPrivate(LogicController *q);

    // Re-reads packages and units and rebuilds the installed-services map.
    void reload();
    // The service of the selected row, null when the row shows none.
    const ServiceDescription *selected() const;
    ServiceState stateOf(const ServiceDescription &service);
    int enablingOf(const ServiceDescription &service) const;
    bool isInstalled(const ServiceDescription &service) const;

    LogicController *const q;
    // The bus and system root every part below reaches the machine through.
    const SystemAccess system;
    unsigned long long mainWindowId = 0;
    int currentRow = -1;
    QString startResult;

    PackageDatabase packages;
    std::vector<std::unique_ptr<TimeService>> services; // one per catalog entry
    QMap<PackageIndex, AbstractServiceClass *> installed;
    // Configuration files, settings pages and dialogs of the installed services.
    SettingsSet settings;

    // Destroyed first: nothing they signal may reach a half-destroyed controller.
    std::unique_ptr<SyncStatus> sync;
    std::unique_ptr<SystemdClient> systemd;
    // Made on first use.
    std::unique_ptr<OneShotSync> oneShotSync;
    std::unique_ptr<LastSyncReader> lastSyncReader;
};
