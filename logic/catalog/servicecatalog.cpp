// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "catalog/servicecatalog.h"

#include <algorithm>

namespace ServiceCatalog
{
const QVector<ServiceDescription> &all()
{
    static const QVector<ServiceDescription> services{
        {TimesyncdPackage,
         QLatin1String("systemd-timesyncd"),
         QLatin1String("systemd-timesyncd"),
         QLatin1String("systemd-timesyncd.service"),
         QLatin1String("/etc/systemd/timesyncd.conf")},
        {ChronyPackage, QLatin1String("chrony"), QLatin1String("chrony"), QLatin1String("chrony.service"), QLatin1String("/etc/chrony/chrony.conf")},
        {NtpsecPackage, QLatin1String("ntpsec"), QLatin1String("ntpsec"), QLatin1String("ntpsec.service"), QLatin1String("/etc/ntpsec/ntp.conf")},
        {OpenntpdPackage, QLatin1String("openntpd"), QLatin1String("openntpd"), QLatin1String("openntpd.service"), QLatin1String("/etc/openntpd/ntpd.conf")},
    };
    return services;
}

template<typename Member>
static const ServiceDescription *find(Member member, const QString &value)
{
    const auto &services = all();
    const auto it = std::find_if(services.cbegin(), services.cend(), [&](const ServiceDescription &s) {
        return s.*member == value;
    });
    return it == services.cend() ? nullptr : &*it;
}

const ServiceDescription *byServiceName(const QString &serviceName)
{
    return find(&ServiceDescription::serviceName, serviceName);
}

const ServiceDescription *byPackageName(const QString &packageName)
{
    return find(&ServiceDescription::packageName, packageName);
}

const ServiceDescription *byUnitName(const QString &unitName)
{
    return find(&ServiceDescription::unitName, unitName);
}

const ServiceDescription *byConfigPath(const QString &configPath)
{
    return find(&ServiceDescription::configPath, configPath);
}

const ServiceDescription &byIndex(PackageIndex index)
{
    return all().at(static_cast<int>(index));
}
}
