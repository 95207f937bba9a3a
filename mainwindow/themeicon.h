// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QIcon>

// The theme icon called `name`. When the theme has no icon of that name, an
// icon of the same meaning that Breeze does have stands in, so that no
// action, row or status icon is blank on a stock KDE desktop.
QIcon themeIcon(const char *name);
