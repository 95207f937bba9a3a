// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "vrqhelper_export.h"

#include <QByteArray>

namespace MACDetect
{
// True when the current process carries no security label: the label file
// is missing, empty or says "unconfined". Reads nothing else.
VRQHELPER_EXPORT bool isCurrentProcessHasEmptyMAC();

// The same decision for the text of a label file; exposed for tests.
VRQHELPER_EXPORT bool isEmptyLabel(const QByteArray &label);
}
