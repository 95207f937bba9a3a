// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "abstractserviceclass.h"
#include "catalog/servicecatalog.h"

class LogicControllerPrivate;

// One service of the catalog. The controller keeps one object per catalog
// entry for its whole life, so a pointer handed out never dangles, even
// across a reload run from inside a nested event loop.
class TimeService : public AbstractServiceClass
{
public:
    TimeService(const ServiceDescription &description, LogicControllerPrivate *controller);

    QLatin1String getServiceName() const override;
    ServiceState getServiceState() const override;
    int getServiceEnabling() const override;
    void setModelIndex(int index) override;

    const ServiceDescription &description() const
    {
        return m_desc;
    }
    int modelIndex() const
    {
        return m_row;
    }

private:
    const ServiceDescription m_desc;
    LogicControllerPrivate *const d;
    int m_row = -1;
};
