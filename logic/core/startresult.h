// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "systemd/systemdclient.h"

namespace StartResult
{
// Empty when the job ended "done"; otherwise a sentence for the user naming
// what went wrong and, when known, the state the unit is in now.
QString describe(SystemdClient::Job job, const QString &serviceName, const SystemdClient::JobOutcome &outcome, const UnitState &unit);
// Why systemd refused a call, in words.
QString reason(const QDBusError &error);
// When systemd is not there to ask at all.
QString unreachable(SystemdClient::Job job, const QString &serviceName);
}
