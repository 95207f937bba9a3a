// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include <KLocalizedString>

void MainWindow::setLabels()
{
    setWindowTitle(ki18nd("kcm_zel_admin_time", "Time synchronization").toString());
    ui->groupBox->setTitle(ki18nd("kcm_zel_admin_time", "Services").toString());
    ui->saveAction->setText(ki18nd("kcm_zel_admin_time", "&Save changes").toString());
    ui->reloadAction->setText(ki18nd("kcm_zel_admin_time", "&Reload configuration").toString());
    ui->syncNowAction->setText(ki18nd("kcm_zel_admin_time", "Sync &time now").toString());
    ui->serviceSettAction->setText(ki18nd("kcm_zel_admin_time", "Ser&vice settings").toString());
    ui->restartServiceAction->setText(ki18nd("kcm_zel_admin_time", "Rest&art service").toString());
    ui->addNewServiceAction->setText(ki18nd("kcm_zel_admin_time", "&Add service").toString());
    ui->deleteServiceAction->setText(ki18nd("kcm_zel_admin_time", "&Delete service").toString());
    ui->menuFirst_menu->setTitle(ki18nd("kcm_zel_admin_time", "File").toString());
    ui->menuService->setTitle(ki18nd("kcm_zel_admin_time", "Service").toString());
    // Screen readers name the tool bar by its title.
    ui->toolBar->setWindowTitle(ki18nd("kcm_zel_admin_time", "Tool bar").toString());
    setToolTips();
}

void MainWindow::setToolTips()
{
    ui->reloadAction->setToolTip(ki18nd("kcm_zel_admin_time", "Reload configuration from system").toString());
    ui->saveAction->setToolTip(ki18nd("kcm_zel_admin_time", "Save changes").toString());
    ui->syncNowAction->setToolTip(ki18nd("kcm_zel_admin_time", "Sync time now").toString());
    // Ends with a blank, unlike the member text that replaces it on the first selection.
    ui->enDisServiceAction->setToolTip(ki18nd("kcm_zel_admin_time", "The service starts \nat system startup. \nPress if you want to change this. ").toString());
    ui->startStopServiceAction->setToolTip(ki18nd("kcm_zel_admin_time", "Stop service").toString());
    ui->restartServiceAction->setToolTip(ki18nd("kcm_zel_admin_time", "Restart service").toString());
    ui->serviceSettAction->setToolTip(ki18nd("kcm_zel_admin_time", "Open service settings").toString());
    ui->addNewServiceAction->setToolTip(ki18nd("kcm_zel_admin_time", "Install new service package").toString());
    ui->deleteServiceAction->setToolTip(ki18nd("kcm_zel_admin_time", "Uninstall service package").toString());
    ui->plusBtn->setToolTip(ki18nd("kcm_zel_admin_time", "Add new service").toString());
    ui->minusBtn->setToolTip(ki18nd("kcm_zel_admin_time", "Delete current service").toString());
    ui->settBtn->setToolTip(ki18nd("kcm_zel_admin_time", "Open service settings").toString());
    // The three show only an icon: screen readers say the tool tip's words.
    ui->plusBtn->setAccessibleName(ui->plusBtn->toolTip());
    ui->minusBtn->setAccessibleName(ui->minusBtn->toolTip());
    ui->settBtn->setAccessibleName(ui->settBtn->toolTip());
    ui->servicesListView->setAccessibleName(ui->groupBox->title());
}
