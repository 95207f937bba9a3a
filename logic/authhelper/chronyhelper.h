// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <KAuth/ActionReply>

// The helper's side of ChronyCommand: runs the one allowed command as root.
namespace ChronyHelper
{
KAuth::ActionReply execute(const QVariantMap &request);
}
