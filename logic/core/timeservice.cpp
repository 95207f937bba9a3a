// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "core/timeservice.h"

#include "core/logiccontroller_p.h"

TimeService::TimeService(const ServiceDescription &description, LogicControllerPrivate *controller)
    : m_desc(description)
    , d(controller)
{
}

QLatin1String TimeService::getServiceName() const
{
    return m_desc.serviceName;
}

ServiceState TimeService::getServiceState() const
{
    return d->stateOf(m_desc);
}

int TimeService::getServiceEnabling() const
{
    return d->enablingOf(m_desc);
}

void TimeService::setModelIndex(int index)
{
    m_row = index;
}
