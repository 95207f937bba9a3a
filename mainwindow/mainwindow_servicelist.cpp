// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "logiccontroller.h"
#include "themeicon.h"

#include <KLocalizedString>

#include <QItemSelectionModel>
#include <QScopeGuard>
#include <QStandardItemModel>

// Row numbers tie the list row, the service's model index, the controller's
// selected service and the settings page together.

void MainWindow::createServiceModel()
{
    if (servicesModel) {
        servicesModel->clear();
        ui->servicesListView->reset();
        // Takes its selection model along, which is a child of it.
        delete servicesModel;
    }
    servicesModel = new QStandardItemModel();
    auto *selection = new QItemSelectionModel(servicesModel, servicesModel);
    ui->servicesListView->setModel(servicesModel);
    ui->servicesListView->setSelectionModel(selection);
    ui->servicesListView->setSelectionMode(QAbstractItemView::SingleSelection);

    const QMap<PackageIndex, AbstractServiceClass *> services = controller->getInstalledServicesMap();
    int row = -1;
    for (AbstractServiceClass *service : services) {
        if (!service) {
            continue;
        }
        const ServiceState state = service->getServiceState();
        const int enabling = service->getServiceEnabling();
        auto *item = new QStandardItem(QString(service->getServiceName()));
        item->setEditable(false);
        servicesModel->invisibleRootItem()->appendRow(item);
        item->setData(static_cast<int>(state), ServiceStateRole);
        item->setData(enabling, ServiceEnablingRole);
        ++row;
        setIconToModelItem(row, state);
        service->setModelIndex(row);
    }

    // Connected first, so that the selection below already runs the handler.
    connect(selection, &QItemSelectionModel::selectionChanged, this, &MainWindow::changeCurrentWidget);

    QList<QStandardItem *> target = servicesModel->findItems(controller->getActiveServiceName(), Qt::MatchExactly, 0);
    const QList<QStandardItem *> kept = keptService.isEmpty() ? QList<QStandardItem *>() : servicesModel->findItems(keptService, Qt::MatchExactly, 0);
    if (!kept.isEmpty()) {
        target = kept;
    }
    selection->setCurrentIndex(target.isEmpty() ? servicesModel->index(0, 0) : target.first()->index(), QItemSelectionModel::Select);
}

void MainWindow::setIconToModelItem(int row, ServiceState state) const
{
    QStandardItem *item = servicesModel ? servicesModel->item(row, 0) : nullptr;
    if (!item) {
        return;
    }
    // The icon says the state to the eye; screen readers get the same in words.
    switch (state) {
    case ServiceNotActive:
        item->setIcon(themeIcon("media-playback-stop-symbolic"));
        item->setData(ki18nd("kcm_zel_admin_time", "Not running").toString(), Qt::AccessibleDescriptionRole);
        break;
    case ServiceNotSynchronized:
        item->setIcon(themeIcon("dialog-warning"));
        item->setData(ki18nd("kcm_zel_admin_time", "Running, not synchronized").toString(), Qt::AccessibleDescriptionRole);
        break;
    case ServiceSynchronized:
        item->setIcon(themeIcon("dialog-on"));
        item->setData(ki18nd("kcm_zel_admin_time", "Running, synchronized").toString(), Qt::AccessibleDescriptionRole);
        break;
    default:
        break;
    }
}

void MainWindow::fillStackedWidget()
{
    // The pages are the library's: taken out, never deleted.
    const int pages = ui->stackedWidget->count();
    for (int i = 0; i < pages; ++i) {
        ui->stackedWidget->removeWidget(ui->stackedWidget->widget(0));
    }

    const QList<QWidget *> widgets = controller->getInstalledServiceWidgets();
    if (widgets.isEmpty()) {
        disableButtons();
        fillStatusBar(NoInstalledService);
    }
    for (QWidget *widget : widgets) {
        if (widget) {
            ui->stackedWidget->addWidget(widget);
        }
    }

    QList<QStandardItem *> page = servicesModel->findItems(controller->getActiveServiceName(), Qt::MatchExactly, 0);
    const QList<QStandardItem *> kept = keptService.isEmpty() ? QList<QStandardItem *>() : servicesModel->findItems(keptService, Qt::MatchExactly, 0);
    if (!kept.isEmpty()) {
        page = kept;
    }
    ui->stackedWidget->setCurrentIndex(page.isEmpty() ? 0 : page.first()->row());
}

void MainWindow::changeCurrentWidget(const QItemSelection &newSelect)
{
    const QModelIndexList indexes = newSelect.indexes();
    if (indexes.isEmpty()) {
        return;
    }
    const QModelIndex index = indexes.first();
    const int row = index.row();
    ui->stackedWidget->setCurrentIndex(row);
    // Before anything below asks the controller about the selected service.
    controller->setCurrentSelectedService(row);
    ui->serviceSettAction->setEnabled(controller->isMainSettingsAvailable());
    ui->settBtn->setEnabled(controller->isMainSettingsAvailable());

    const int state = index.data(ServiceStateRole).toInt();
    fillStatusBar(state);
    setIconToStartStopBtn(state);
    setIconToEnDisBtn(index.data(ServiceEnablingRole).toInt());

    ui->minusBtn->setToolTip(ki18nd("kcm_zel_admin_time", "Delete current service").toString());
    ui->minusBtn->setEnabled(true);
    ui->deleteServiceAction->setEnabled(true);
    keepButtonsLocked();
}

void MainWindow::reloadSystemState()
{
    // The question, the save and the controller's reload may all run the
    // event loop; a reload asked for meanwhile (by a tick, say) would only
    // rebuild what this one rebuilds afterwards.
    if (isReloading) {
        return;
    }
    isReloading = true;
    const CommandLock lock(this);
    const QPointer<MainWindow> self(this);
    const auto done = qScopeGuard([self] {
        if (self) {
            self->isReloading = false;
        }
    });

    if (isConfigChanged) {
        const QMessageBox::StandardButton answer = askToSaveChanges();
        if (!lock.windowAlive() || answer == QMessageBox::Cancel) {
            return;
        }
        // Reloading after a failed save would throw the user's changes away.
        if (answer == QMessageBox::Yes && (!applyConfigSucceeded() || !lock.windowAlive())) {
            return;
        }
    }

    isConfigChanged = false;
    Q_EMIT changed(false);
    actualizeBtnsEnabling();
    ui->saveAction->setEnabled(false);
    controller->reloadSystemState();
    if (!lock.windowAlive()) {
        return;
    }
    createServiceModel();
    fillStackedWidget();
}
