// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "logiccontroller.h"
#include "themeicon.h"

#include <KLocalizedString>

#include <QCloseEvent>
#include <QMessageBox>
#include <QSettings>
#include <QStandardItemModel>
#include <QTimer>

MainWindow::MainWindow(bool hasEmptyMacLabel, QMainWindow *parent)
    : QMainWindow(parent)
    , ui(nullptr)
    , controller(nullptr)
    , servicesModel(nullptr)
    , syncNowDialog(nullptr)
    , choosePackDialog(nullptr)
    , isConfigChanged(false)
    , statusIconLabel(nullptr)
    , statusTextLabel(nullptr)
    , lastStatusState(-1)
    , hasEmptyMac(true)
    , updateTimer(nullptr)
    , lastServiceState(0)
    , lastSynchroInfoRequested(false)
    , startServiceText(ki18nd("kcm_zel_admin_time", "S&tart service").toString())
    , stopServiceText(ki18nd("kcm_zel_admin_time", "St&op service").toString())
    , startServiceToolTip(ki18nd("kcm_zel_admin_time", "Start service").toString())
    , conflictToolTip(ki18nd("kcm_zel_admin_time", "This service can't be started due to a conflict with other installed services").toString())
    , stopServiceToolTip(ki18nd("kcm_zel_admin_time", "Stop service").toString())
    , enableServiceText(ki18nd("kcm_zel_admin_time", "E&nable service").toString())
    , disableServiceText(ki18nd("kcm_zel_admin_time", "D&isable service").toString())
    , notStartingAtBootToolTip(ki18nd("kcm_zel_admin_time", "The service does not start \nat system startup. \nPress if you want to change this.").toString())
    , startingAtBootToolTip(ki18nd("kcm_zel_admin_time", "The service starts \nat system startup. \nPress if you want to change this.").toString())
    , restartServiceToolTip(ki18nd("kcm_zel_admin_time", "Restart service").toString())
    , isReloading(false)
{
    ui = new Ui_AppSkeleton;
    ui->setupUi(this);
    setThemeIcons();
    setLabels();

    hasEmptyMac = hasEmptyMacLabel;
    controller = new LogicController(hasEmptyMac, this);
    ui->syncNowAction->setEnabled(hasEmptyMac);
    controller->setMainWindowId(winId());

    connect(ui->syncNowAction, &QAction::triggered, this, &MainWindow::showSyncDialog);
    connect(ui->serviceSettAction, &QAction::triggered, controller, &LogicController::openMainSettingsDialog);
    connect(ui->settBtn, &QPushButton::clicked, controller, &LogicController::openMainSettingsDialog);
    connect(ui->startStopServiceAction, &QAction::triggered, this, &MainWindow::startStopSelectedService);
    connect(ui->enDisServiceAction, &QAction::triggered, this, &MainWindow::enableDisableSelectedService);
    connect(ui->restartServiceAction, &QAction::triggered, this, &MainWindow::restartSelectedService);
    connect(ui->saveAction, &QAction::triggered, controller, &LogicController::applyConfig);
    connect(ui->reloadAction, &QAction::triggered, this, &MainWindow::reloadSystemState);
    connect(controller, &LogicController::confWrited, this, [this] {
        isConfigChanged = false;
        Q_EMIT changed(false);
        actualizeBtnsEnabling();
        actualizeServiceState(ui->servicesListView->currentIndex());
    });
    connect(controller, &LogicController::confWriteError, this, [this] {
        QMessageBox::warning(this,
                             ki18nd("kcm_zel_admin_time", "Warning!").toString(),
                             ki18nd("kcm_zel_admin_time", "Config save failed due to unexpected errors.").toString(),
                             QMessageBox::Ok);
    });
    connect(controller, &LogicController::oneServiceChanged, this, [this] {
        isConfigChanged = true;
        Q_EMIT changed(true);
        actualizeBtnsEnabling();
    });
    connect(controller, &LogicController::syncError, this, [this](const QString &message) {
        // ntpdig's own wording names no cause the user could act on.
        const QString text = message.contains(QLatin1String("ntpdig")) ? ki18nd("kcm_zel_admin_time", "ntpdig: no eligible servers").toString() : message;
        QMessageBox::critical(this, ki18nd("kcm_zel_admin_time", "Error!").toString(), text, QMessageBox::Ok);
        showTempStatusMessage(1, ki18nd("kcm_zel_admin_time", "Time sync error").toString());
    });
    connect(controller, &LogicController::syncOK, this, [this] {
        showTempStatusMessage(0, ki18nd("kcm_zel_admin_time", "Time synced successfully").toString());
    });
    connect(ui->servicesListView, &QAbstractItemView::doubleClicked, controller, &LogicController::openMainSettingsDialog);
    connect(controller, &LogicController::loginctlUnavailable, this, [this] {
        QMessageBox::warning(
            this,
            ki18nd("kcm_zel_admin_time", "Warning!").toString(),
            ki18nd("kcm_zel_admin_time", "The correct statuses of services are not available \ndue to the impossibility of starting systemctl.").toString(),
            QMessageBox::Ok);
    });
    connect(ui->addNewServiceAction, &QAction::triggered, this, &MainWindow::showChoosePackDialog);
    connect(ui->plusBtn, &QPushButton::clicked, this, &MainWindow::showChoosePackDialog);
    connect(ui->deleteServiceAction, &QAction::triggered, this, &MainWindow::confirmUninstall);
    connect(ui->minusBtn, &QPushButton::clicked, this, &MainWindow::confirmUninstall);
    connect(controller, &LogicController::lastSynchroInfoReceived, this, &MainWindow::setLastSynchroToolTip);
    connect(controller, &LogicController::lastSynchroInfoTimeout, this, &MainWindow::disableGettingLastSynchroInfo);

    initStatusBar();
    loadSettings();
    createServiceModel();
    fillStackedWidget();

    controller->getSysAlive();

    updateTimer = new QTimer(this);
    updateTimer->setObjectName(QStringLiteral("updateTimer"));
    connect(updateTimer, &QTimer::timeout, this, &MainWindow::updateServiceState);
    updateTimer->setInterval(5000);
    updateTimer->start();
}

MainWindow::~MainWindow()
{
    delete ui;
    delete controller;
    delete servicesModel;
    delete updateTimer;
}

void MainWindow::save()
{
    controller->applyConfig();
}

void MainWindow::loadSettings()
{
    restoreGeometry(QSettings().value(QStringLiteral("geometry"), QVariant()).toByteArray());
}

bool MainWindow::applyConfigSucceeded()
{
    // The controller answers before applyConfig() returns.
    bool failed = false;
    const QMetaObject::Connection watch = connect(controller, &LogicController::confWriteError, this, [&failed] {
        failed = true;
    });
    controller->applyConfig();
    disconnect(watch);
    return !failed;
}

QMessageBox::StandardButton MainWindow::askToSaveChanges()
{
    return QMessageBox::question(this,
                                 ki18nd("kcm_zel_admin_time", "Unsaved changes").toString(),
                                 ki18nd("kcm_zel_admin_time", "Configuration was changed but not saved. \nDo you want to save changes?").toString(),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (isConfigChanged) {
        const QMessageBox::StandardButton answer = askToSaveChanges();
        if (answer == QMessageBox::Yes) {
            // A failed save keeps the window, and the changes, open.
            if (!applyConfigSucceeded()) {
                event->ignore();
                return;
            }
        } else if (answer != QMessageBox::No) {
            event->ignore();
            return;
        }
    }
    QSettings().setValue(QStringLiteral("geometry"), saveGeometry());
    event->accept();
}

void MainWindow::setThemeIcons()
{
    // The form asks the theme by name alone; stand-ins fill its gaps.
    ui->saveAction->setIcon(themeIcon("document-save-symbolic"));
    ui->reloadAction->setIcon(themeIcon("view-restore-symbolic"));
    ui->syncNowAction->setIcon(themeIcon("sync-time-symbolic"));
    ui->serviceSettAction->setIcon(themeIcon("configure-symbolic"));
    ui->startStopServiceAction->setIcon(themeIcon("media-playback-stop-symbolic"));
    ui->restartServiceAction->setIcon(themeIcon("view-refresh-symbolic"));
    ui->enDisServiceAction->setIcon(themeIcon("list-delete"));
    ui->addNewServiceAction->setIcon(themeIcon("list-add-symbolic"));
    ui->deleteServiceAction->setIcon(themeIcon("list-remove-symbolic"));
    ui->plusBtn->setIcon(ui->addNewServiceAction->icon());
    ui->minusBtn->setIcon(ui->deleteServiceAction->icon());
    ui->settBtn->setIcon(ui->serviceSettAction->icon());
}
