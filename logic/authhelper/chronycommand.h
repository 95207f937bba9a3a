// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QStringList>
#include <QVariantMap>

// The few chronyc commands a normal user may have run as root: asking the
// sources at once (burst 4/4), setting them online, and stepping the clock.
// Nothing else passes, and no argument of the caller but one checked source
// address for the first two.
namespace ChronyCommand
{
constexpr char actionId[] = "org.kde.kcontrol.kcmzeladmintime.chronycommand";
constexpr char helperId[] = "org.kde.kcontrol.kcmzeladmintime";
constexpr int timeLimitMs = 10000;

QVariantMap request(const QString &command, const QString &source = {});
// chronyc's arguments for a request, or false for anything not on the list.
bool arguments(const QVariantMap &request, QStringList *arguments);
}
