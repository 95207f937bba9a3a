// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "core/timeservice.h"

#include "core/logiccontroller_p.h"

TimeService::TimeService(const ServiceDescription &description, LogicControllerPrivate *controller)
    : desc(description)
    , d(controller)
{
}

QLatin1String TimeService::getServiceName() const
{
    return desc.serviceName;
}

ServiceState TimeService::getServiceState() const
{
    return d->stateOf(desc);
}

int TimeService::getServiceEnabling() const
{
    return d->enablingOf(desc);
}

void TimeService::setModelIndex(int index)
{
    row = index;
}
