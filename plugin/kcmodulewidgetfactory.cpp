// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "kcmodulewidgetfactory.h"

#include "kcmodulewidget.h"

namespace
{
QObject *createKCModuleWidget(QWidget *parentWidget, QObject *parent, const QVariantList &args)
{
    Q_UNUSED(parentWidget)
    QWidget *parentAsWidget = parent && parent->isWidgetType() ? static_cast<QWidget *>(parent) : nullptr;
    return new KCModuleWidget(parentAsWidget, args);
}
}

KCModuleWidgetFactory::KCModuleWidgetFactory()
{
    // The keyword form is the one that takes our own creator.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    registerPlugin<KCModuleWidget>(QString(), &createKCModuleWidget);
    QT_WARNING_POP
}
