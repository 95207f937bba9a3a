// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "choosepackdialog.h"
#include "logiccontroller.h"

#include <KLocalizedString>

#include <QMap>
#include <QPersistentModelIndex>
#include <QStandardItemModel>
#include <QStringList>

void MainWindow::showChoosePackDialog()
{
    const CommandLock lock(this);
    // Asked afresh each time: the machine's packages may have changed.
    const QStringList notInstalled = controller->getNotInstalledServicesNames();
    QMap<QString, QStringList> conflicts;
    for (const QString &name : notInstalled) {
        QStringList removed = controller->getConflictedServices(name);
        // Only installed services can be removed by the installation.
        for (const QString &other : notInstalled) {
            removed.removeOne(other);
        }
        conflicts.insert(name, removed);
    }

    if (!choosePackDialog) {
        choosePackDialog = new ChoosePackDialog(conflicts, this);
    } else {
        choosePackDialog->setItems(conflicts);
    }
    choosePackDialog->setWindowModality(Qt::WindowModal);
    const int result = choosePackDialog->exec();
    if (lock.windowAlive() && result == QDialog::Accepted) {
        installThisService(choosePackDialog->getSelectedService());
    }
}

void MainWindow::installThisService(const QString &service)
{
    const QPointer<MainWindow> self(this);
    const bool started = controller->tryToInstallService(service);
    if (!self) {
        return;
    }
    if (started) {
        // The new service shows up in the list only after a reload.
        const QString reminder = service == QLatin1String("systemd-timesyncd")
            ? ki18nd("kcm_zel_admin_time", "Don't forget to reload the system after install systemd-timesyncd.").toString()
            : ki18nd("kcm_zel_admin_time", "Don't forget to reload the configuration after changing the list of services.").toString();
        QMessageBox::warning(this, ki18nd("kcm_zel_admin_time", "Warning!").toString(), reminder, QMessageBox::Yes);
        return;
    }
    const QString package = controller->getPackageNameByServiceName(service);
    QMessageBox::critical(this,
                          ki18nd("kcm_zel_admin_time", "Error!").toString(),
                          ki18nd("kcm_zel_admin_time", "Synaptic failed to start. Try to install %1 package manually.").subs(package).toString(),
                          QMessageBox::Ok);
}

void MainWindow::confirmUninstall()
{
    QPersistentModelIndex index;
    QString service;
    if (!takeSelectedService(index, service)) {
        return;
    }
    const CommandLock lock(this);
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this,
                              ki18nd("kcm_zel_admin_time", "Warning!").toString(),
                              ki18nd("kcm_zel_admin_time", "Do you really want to uninstall %1 service?").subs(service).toString(),
                              QMessageBox::Yes | QMessageBox::Cancel);
    if (!lock.windowAlive() || answer != QMessageBox::Yes) {
        return;
    }
    // The tick may have rebuilt the list while the question was open: the
    // package removed is the named service's, wherever its row is now.
    const QList<QStandardItem *> named = servicesModel->findItems(service, Qt::MatchExactly, 0);
    if (named.isEmpty()) {
        QMessageBox::warning(
            this,
            ki18nd("kcm_zel_admin_time", "Warning!").toString(),
            ki18nd("kcm_zel_admin_time", "The service %1 is no longer in the list of installed services. Nothing was removed.").subs(service).toString(),
            QMessageBox::Ok);
        return;
    }
    const QModelIndex row = named.first()->index();
    if (ui->servicesListView->currentIndex() != row) {
        ui->servicesListView->setCurrentIndex(row);
    }
    controller->setCurrentSelectedService(row.row());
    uninstallCurrentService();
}

void MainWindow::uninstallCurrentService()
{
    // Removes the controller's current service, which confirmUninstall set
    // to the named one; the failure names it by the list's entry.
    const QPointer<MainWindow> self(this);
    const bool started = controller->tryToUninstallCurrentService();
    if (!self) {
        return;
    }
    if (started) {
        QMessageBox::warning(this,
                             ki18nd("kcm_zel_admin_time", "Warning!").toString(),
                             ki18nd("kcm_zel_admin_time", "Don't forget to reload the configuration after changing the list of services.").toString(),
                             QMessageBox::Yes);
        return;
    }
    const QModelIndex index = ui->servicesListView->currentIndex();
    if (!index.isValid()) {
        return;
    }
    const QString service = servicesModel->data(index, Qt::DisplayRole).toString();
    const QString package = controller->getPackageNameByServiceName(service);
    QMessageBox::critical(this,
                          ki18nd("kcm_zel_admin_time", "Error!").toString(),
                          ki18nd("kcm_zel_admin_time", "Synaptic failed to start. Try to uninstall %1 package manually.").subs(package).toString(),
                          QMessageBox::Ok);
}
