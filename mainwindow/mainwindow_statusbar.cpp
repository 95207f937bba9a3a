// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "themeicon.h"

#include <KLocalizedString>

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

void MainWindow::initStatusBar()
{
    statusTextLabel = new QLabel();
    statusTextLabel->setObjectName(QStringLiteral("statusTextLabel"));
    statusIconLabel = new QLabel();
    statusIconLabel->setObjectName(QStringLiteral("statusIconLabel"));
    ui->statusBar->addWidget(statusTextLabel, 0);
    ui->statusBar->addWidget(statusIconLabel, 0);
}

void MainWindow::setStatusIcon(const char *name)
{
    statusIconLabel->setPixmap(themeIcon(name).pixmap(QSize(16, 16)));
}

void MainWindow::fillStatusBar(int state)
{
    lastStatusState = state;
    switch (state) {
    case NoInstalledService:
        setStatusIcon("dialog-warning");
        statusTextLabel->setText(ki18nd("kcm_zel_admin_time", "No installed services.").toString());
        break;
    case ServiceNotActive:
        setStatusIcon("media-playback-stop-symbolic");
        statusTextLabel->setText(ki18nd("kcm_zel_admin_time", "Synchronization service is not active.").toString());
        break;
    case ServiceNotSynchronized:
        setStatusIcon("dialog-warning");
        statusTextLabel->setText(ki18nd("kcm_zel_admin_time", "Service is out of sync. Perhaps it will sync a little later.").toString());
        break;
    case ServiceSynchronized:
        setStatusIcon("dialog-on");
        statusTextLabel->setText(ki18nd("kcm_zel_admin_time", "Service is synchronized.").toString());
        break;
    default:
        break;
    }
}

void MainWindow::showWaitStatusMessage()
{
    setStatusIcon("sync-now-symbolic");
    statusTextLabel->setText(ki18nd("kcm_zel_admin_time", "Waiting for time sync").toString());
}

void MainWindow::showTempStatusMessage(int type, const QString &message)
{
    // No tick may overwrite the message while it is shown.
    updateTimer->stop();
    if (type == 0) {
        setStatusIcon("dialog-on");
    } else if (type == 1) {
        setStatusIcon("dialog-warning");
    }
    statusTextLabel->setText(message);
    QTimer::singleShot(5000, this, SLOT(restoreStatusBar()));
}

void MainWindow::restoreStatusBar()
{
    fillStatusBar(lastStatusState);
    updateTimer->start();
}
