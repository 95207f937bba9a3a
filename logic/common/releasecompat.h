// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

// The library's one place for what KDE Frameworks 5 and 6 spell differently.

#include <KAuth/Action>

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
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

// A call of a KAuth helper's performAction, made as KAuth's own client makes
// it: KF6's helper also takes file descriptors by name (none here), and
// answers a call without them that it has no such method.
inline void addHelperCallArguments(QDBusMessage &call, const QString &action, const QByteArray &caller, const QByteArray &arguments)
{
    call << action << caller << QVariantMap() << arguments;
#if QT_VERSION_MAJOR >= 6
    using Descriptors = QMap<QString, QDBusUnixFileDescriptor>;
    qDBusRegisterMetaType<Descriptors>();
    call << QVariant::fromValue(Descriptors());
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
