// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "logiccontroller.h"
#include "themeicon.h"

#include <QActionGroup>
#include <QPushButton>

void MainWindow::setIconToStartStopBtn(int state) const
{
    if (state == ServiceNotActive) {
        // With a single installed service nothing can conflict. A false
        // answer, not a true one, is what blocks the start.
        const bool conflict = controller->getInstalledServicesMap().size() != 1 && !controller->isServiceConflicting();
        if (conflict) {
            ui->startStopServiceAction->setToolTip(conflictToolTip);
            ui->startStopServiceAction->setEnabled(false);
            ui->restartServiceAction->setToolTip(conflictToolTip);
            ui->restartServiceAction->setEnabled(false);
        } else {
            ui->startStopServiceAction->setToolTip(startServiceToolTip);
            ui->startStopServiceAction->setEnabled(!isConfigChanged);
            ui->restartServiceAction->setToolTip(restartServiceToolTip);
            ui->restartServiceAction->setEnabled(!isConfigChanged);
        }
        ui->startStopServiceAction->setIcon(themeIcon("media-playback-start-symbolic"));
        ui->startStopServiceAction->setText(startServiceText);
        ui->startStopServiceAction->setIconText(startServiceText);
        return;
    }
    ui->startStopServiceAction->setIcon(themeIcon("media-playback-stop-symbolic"));
    ui->startStopServiceAction->setToolTip(stopServiceToolTip);
    ui->startStopServiceAction->setText(stopServiceText);
    ui->startStopServiceAction->setIconText(stopServiceText);
    ui->startStopServiceAction->setEnabled(true);
    ui->restartServiceAction->setToolTip(restartServiceToolTip);
    ui->restartServiceAction->setEnabled(!isConfigChanged);
}

void MainWindow::setIconToEnDisBtn(int enabling) const
{
    if (enabling == 1) {
        ui->enDisServiceAction->setIcon(themeIcon("list-delete"));
        ui->enDisServiceAction->setToolTip(startingAtBootToolTip);
        ui->enDisServiceAction->setText(disableServiceText);
        ui->enDisServiceAction->setIconText(disableServiceText);
    } else {
        ui->enDisServiceAction->setIcon(themeIcon("dialog-ok-apply-symbolic"));
        ui->enDisServiceAction->setToolTip(notStartingAtBootToolTip);
        ui->enDisServiceAction->setText(enableServiceText);
        ui->enDisServiceAction->setIconText(enableServiceText);
    }
    ui->enDisServiceAction->setEnabled(!isConfigChanged);
}

void MainWindow::actualizeBtnsEnabling()
{
    ui->saveAction->setEnabled(isConfigChanged);
    ui->restartServiceAction->setEnabled(!isConfigChanged);
    // The blocked start and the stop form keep their own enabled state.
    if (ui->startStopServiceAction->toolTip() == startServiceToolTip) {
        ui->startStopServiceAction->setEnabled(!isConfigChanged);
    }
    ui->enDisServiceAction->setEnabled(!isConfigChanged);
}

void MainWindow::disableButtons()
{
    ui->deleteServiceAction->setEnabled(false);
    ui->minusBtn->setEnabled(false);
    ui->settBtn->setEnabled(false);
    ui->serviceSettAction->setEnabled(false);
    ui->enDisServiceAction->setEnabled(false);
    ui->restartServiceAction->setEnabled(false);
    ui->startStopServiceAction->setEnabled(false);
    keepButtonsLocked();
}

// The lock works through the action group: while it is disabled the rules
// above still run and record each action's state, which shows when the
// group is enabled again. Nothing is saved and restored around the wait.

CommandLock::CommandLock(MainWindow *owner)
    : window(owner)
{
    owner->lockCommands();
}

CommandLock::~CommandLock()
{
    if (window) {
        window->unlockCommands();
    }
}

void MainWindow::lockCommands()
{
    if (commandLocks++ == 0) {
        commandActions->setEnabled(false);
        keepButtonsLocked();
    }
}

void MainWindow::unlockCommands()
{
    if (--commandLocks > 0) {
        return;
    }
    commandActions->setEnabled(true);
    // Each button was set as its action by the same rules.
    ui->plusBtn->setEnabled(ui->addNewServiceAction->isEnabled());
    ui->minusBtn->setEnabled(ui->deleteServiceAction->isEnabled());
    ui->settBtn->setEnabled(ui->serviceSettAction->isEnabled());
}

void MainWindow::keepButtonsLocked()
{
    if (commandLocks == 0) {
        return;
    }
    ui->plusBtn->setEnabled(false);
    ui->minusBtn->setEnabled(false);
    ui->settBtn->setEnabled(false);
}

void MainWindow::openSettingsDialog()
{
    const CommandLock lock(this);
    controller->openMainSettingsDialog();
}
