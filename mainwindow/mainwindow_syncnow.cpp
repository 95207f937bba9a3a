// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"

#include "logiccontroller.h"
#include "syncnowdialog.h"

#include <QCoreApplication>

void MainWindow::showSyncDialog()
{
    const CommandLock lock(this);
    if (!syncNowDialog) {
        syncNowDialog = new SyncNowDialog(this);
    }
    syncNowDialog->addServers(controller->getListServersToSync());
    syncNowDialog->setModal(true);
    const int result = syncNowDialog->exec();
    if (!lock.windowAlive() || result != QDialog::Accepted) {
        return;
    }
    showWaitStatusMessage();
    // Paint the wait message before the synchronization may hold the thread.
    QCoreApplication::processEvents();
    if (lock.windowAlive()) {
        controller->saveAddrAndSyncNow(syncNowDialog->getSelectedServer());
    }
}
