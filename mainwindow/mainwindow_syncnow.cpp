// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"

#include "logiccontroller.h"
#include "syncnowdialog.h"

#include <QCoreApplication>

void MainWindow::showSyncDialog()
{
    if (!syncNowDialog) {
        syncNowDialog = new SyncNowDialog(this);
    }
    syncNowDialog->addServers(controller->getListServersToSync());
    syncNowDialog->setModal(true);
    if (syncNowDialog->exec() != QDialog::Accepted) {
        return;
    }
    showWaitStatusMessage();
    // Paint the wait message before the synchronization may hold the thread.
    QCoreApplication::processEvents();
    controller->saveAddrAndSyncNow(syncNowDialog->getSelectedServer());
}
