// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "themeicon.h"

#include <cstring>

namespace
{
struct Fallback {
    const char *name;
    const char *standIn;
};

// Breeze lacks the first four; it finds the last two only by dropping the
// "-symbolic" suffix, which QIcon::hasThemeIcon() does not count.
constexpr Fallback fallbacks[] = {
    {"dialog-on", "emblem-ok-symbolic"},
    {"sync-time-symbolic", "chronometer"},
    {"sync-now-symbolic", "emblem-synchronizing-symbolic"},
    {"list-delete", "edit-delete"},
    {"configure-symbolic", "configure"},
    {"dialog-ok-apply-symbolic", "dialog-ok-apply"},
};
}

QIcon themeIcon(const char *name)
{
    const QString wanted = QLatin1String(name);
    if (!QIcon::hasThemeIcon(wanted)) {
        for (const Fallback &fallback : fallbacks) {
            if (std::strcmp(fallback.name, name) == 0) {
                const QString standIn = QLatin1String(fallback.standIn);
                if (QIcon::hasThemeIcon(standIn)) {
                    return QIcon::fromTheme(standIn);
                }
                break;
            }
        }
    }
    return QIcon::fromTheme(wanted);
}
