// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "kcmodulewidget.h"

#include "macdetect.h"

KCModuleWidget::KCModuleWidget(QWidget *parent, const QVariantList &args)
    : KCModule(parent, args)
    , mainWindow(MACDetect::isCurrentProcessHasEmptyMAC(), nullptr)
    , mainLayout(nullptr)
{
    mainLayout.addWidget(&mainWindow);
    setLayout(&mainLayout);
    mainWindow.show();
    setButtons(KCModule::Help);
    connect(&mainWindow, &MainWindow::changed, this, &KCModuleWidget::setChanged);
}

void KCModuleWidget::setChanged(bool state)
{
    Q_EMIT changed(state);
}

void KCModuleWidget::save()
{
    mainWindow.save();
}
