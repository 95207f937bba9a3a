// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// The library's one place for what KDE Frameworks 5 and 6 spell differently.

#include <KAuth/Action>

#include <QWidget>
#include <QWindow>

namespace ReleaseCompat
{
// The D-Bus interface of a KAuth helper.
inline QString kauthHelperInterface()
{
#if QT_VERSION_MAJOR >= 6
    return QStringLiteral("org.kde.kf6auth");
#else
    return QStringLiteral("org.kde.kf5auth");
#endif
}

// The window polkit's authentication dialog is put above.
inline void setAuthParent(KAuth::Action &action, QWidget *window)
{
#if QT_VERSION_MAJOR >= 6
    action.setParentWindow(window->window()->windowHandle());
#else
    action.setParentWidget(window);
#endif
}
}
