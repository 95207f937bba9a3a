// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QLatin1String>

// One installed time-synchronization service. The objects belong to the
// library; callers keep the pointers only until the next reloadSystemState().
class AbstractServiceClass
{
public:
    virtual ~AbstractServiceClass() = default;

    virtual QLatin1String getServiceName() const = 0;
    virtual ServiceState getServiceState() const = 0;
    // 1 when the unit starts at system startup, 0 otherwise.
    virtual int getServiceEnabling() const = 0;
    // The list row the window shows this service in.
    virtual void setModelIndex(int index) = 0;
};
