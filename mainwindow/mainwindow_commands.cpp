// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "logiccontroller.h"

#include <KLocalizedString>

#include <QPersistentModelIndex>
#include <QStandardItemModel>

// Each command hands the selected service's name to the controller and then
// re-reads its state. The controller's calls, and the message boxes, run the
// event loop: the 5-second tick may rebuild the list meanwhile, so a command
// keeps a persistent index and checks it again before using it. The other
// commands are locked while one waits, and the host may delete the window
// meanwhile: after each such call the lock tells whether it still lives.

bool MainWindow::takeSelectedService(QPersistentModelIndex &index, QString &name)
{
    const QModelIndex current = ui->servicesListView->currentIndex();
    if (!current.isValid()) {
        QMessageBox::information(this,
                                 ki18nd("kcm_zel_admin_time", "Warning!").toString(),
                                 ki18nd("kcm_zel_admin_time", "No one service has been selected").toString(),
                                 QMessageBox::Ok);
        return false;
    }
    index = current;
    name = servicesModel->data(current).toString();
    return true;
}

QModelIndex MainWindow::selectedAfterWait(const QPersistentModelIndex &index) const
{
    const QModelIndex current = ui->servicesListView->currentIndex();
    if (index.isValid() && index.model() == servicesModel && index == current) {
        return index;
    }
    // The controller's selected service is the selected row's, whatever the
    // command started on; refreshing that row keeps row and state together.
    return current;
}

void MainWindow::showStartFailure(const QString &name)
{
    const QString result = controller->getStartResult();
    if (result.isEmpty()) {
        return;
    }
    QMessageBox::warning(this,
                         ki18nd("kcm_zel_admin_time", "Warning!").toString(),
                         ki18nd("kcm_zel_admin_time", "Service %1 can't start.\nAdditional information below:\n%2").subs(name).subs(result).toString(),
                         QMessageBox::Ok);
}

void MainWindow::startStopSelectedService()
{
    QPersistentModelIndex index;
    QString name;
    if (!takeSelectedService(index, name)) {
        return;
    }
    const CommandLock lock(this);
    // The cached state decides; the refresh below shows the real one.
    if (index.data(ServiceStateRole) == QVariant(static_cast<int>(ServiceNotActive))) {
        controller->startServiceByDbus(name);
        if (!lock.windowAlive()) {
            return;
        }
        showStartFailure(name);
    } else {
        controller->stopServiceByDbus(name);
    }
    if (lock.windowAlive()) {
        actualizeServiceState(selectedAfterWait(index));
    }
}

void MainWindow::restartSelectedService()
{
    QPersistentModelIndex index;
    QString name;
    if (!takeSelectedService(index, name)) {
        return;
    }
    const CommandLock lock(this);
    controller->restartServiceByDbus(name);
    if (!lock.windowAlive()) {
        return;
    }
    showStartFailure(name);
    if (lock.windowAlive()) {
        actualizeServiceState(selectedAfterWait(index));
    }
}

void MainWindow::enableDisableSelectedService()
{
    QPersistentModelIndex index;
    QString name;
    if (!takeSelectedService(index, name)) {
        return;
    }
    const CommandLock lock(this);
    if (index.data(ServiceEnablingRole) == QVariant(1)) {
        controller->disableServiceByDbus(name);
    } else {
        controller->enableServiceByDbus(name);
    }
    if (lock.windowAlive()) {
        actualizeServiceEnabling(selectedAfterWait(index));
    }
}

void MainWindow::actualizeServiceEnabling(QModelIndex index)
{
    const int value = controller->getCurrentServiceEnabling();
    if (index.isValid() && index.model() == servicesModel) {
        servicesModel->setData(index, value, ServiceEnablingRole);
    }
    setIconToEnDisBtn(value);
}

void MainWindow::actualizeServiceState(QModelIndex index)
{
    const ServiceState state = controller->getCurrentServiceState();
    const bool ownRow = index.isValid() && index.model() == servicesModel;
    if (ownRow) {
        servicesModel->setData(index, static_cast<int>(state), ServiceStateRole);
        setIconToModelItem(index.row(), state);
    }
    setIconToStartStopBtn(state);
    fillStatusBar(state);

    // Rebuild on the first refresh, while no service is active, and once
    // more when one is again; never over unsaved changes.
    if (lastServiceState != NoInstalledService && state != NoInstalledService) {
        return;
    }
    if (!isConfigChanged) {
        // Unlike the reload command, the rule's rebuild keeps the user's
        // service selected while it is still listed.
        keptService = ui->servicesListView->currentIndex().data().toString();
        const QPointer<MainWindow> self(this);
        reloadSystemState();
        if (!self) {
            return;
        }
        keptService.clear();
    }
    lastServiceState = state;
}

void MainWindow::updateServiceState()
{
    if (!controller->isSettingsOpened()) {
        const QPointer<MainWindow> self(this);
        actualizeServiceState(ui->servicesListView->currentIndex());
        if (!self) {
            return;
        }
    }
    requestLastSynchroInfo();
}
