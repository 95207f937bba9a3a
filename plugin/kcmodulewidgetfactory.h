// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <KPluginFactory>

// The plug-in's factory. Metadata without JSON: the host finds the module
// through its kservices5 desktop file. moc's qt_plugin_instance keeps the one
// factory of the process in a function-local static QPointer, so a deleted
// factory is replaced on the next request.
class KCModuleWidgetFactory : public KPluginFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.kde.KPluginFactory")
    Q_INTERFACES(KPluginFactory)

public:
    KCModuleWidgetFactory();
};
