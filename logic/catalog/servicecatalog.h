// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QLatin1String>
#include <QVector>

// The time-synchronization services the module knows, in list order.
struct ServiceDescription {
    PackageIndex index;
    QLatin1String serviceName;
    QLatin1String packageName;
    QLatin1String unitName;
    QLatin1String configPath; // absolute path on the machine; see SysRoot
};

namespace ServiceCatalog
{
const QVector<ServiceDescription> &all();
// Null when the name is not one of ours.
const ServiceDescription *byServiceName(const QString &serviceName);
const ServiceDescription *byPackageName(const QString &packageName);
const ServiceDescription *byUnitName(const QString &unitName);
const ServiceDescription *byConfigPath(const QString &configPath);
const ServiceDescription &byIndex(PackageIndex index);
}
