// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QStringList>

// What the library keeps of one systemd unit, as systemd last reported it.
struct UnitState {
    bool fetched = false; // systemd has answered for this unit at least once
    QString loadState;
    QString activeState;
    QString subState;
    QString unitFileState;
    QString result; // the service's Result ("success", "exit-code", ...)
    QStringList conflicts;
    QStringList conflictedBy;

    // systemd has a unit file for it (masked counts: the unit is there).
    bool isKnown() const
    {
        return fetched && !loadState.isEmpty() && loadState != QLatin1String("not-found");
    }
    // Running or on its way up or down; only inactive and failed units are not.
    bool isActive() const
    {
        return activeState == QLatin1String("active") || activeState == QLatin1String("reloading") || activeState == QLatin1String("activating")
            || activeState == QLatin1String("deactivating");
    }
    // Starts at boot. "static", "indirect" and "generated" units are pulled
    // in by others, and enabling or disabling them changes nothing, so they
    // do not count.
    bool isEnabled() const
    {
        return unitFileState == QLatin1String("enabled") || unitFileState == QLatin1String("enabled-runtime");
    }
    bool conflictsWith(const QString &unitName) const
    {
        return conflicts.contains(unitName) || conflictedBy.contains(unitName);
    }
};
