// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logiccontroller.h"

class LogicControllerPrivate
{
public:
    explicit LogicControllerPrivate(LogicController *q, bool hasEmptyMac);

    LogicController *const q;
    const bool hasEmptyMac;
    unsigned long long mainWindowId = 0;
    int currentRow = -1;
    QString startResult;
};
