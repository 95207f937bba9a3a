// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"
#include "ui_appskeleton.h"

#include "logiccontroller.h"
#include "themeicon.h"

#include <KLocalizedString>

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif
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
    , commandActions(nullptr)
    , commandLocks(0)
    , hostCloseAnswered(false)
{
    ui = new Ui_AppSkeleton;
    ui->setupUi(this);
    setThemeIcons();
    setLabels();

    hasEmptyMac = hasEmptyMacLabel;
    controller = new LogicController(hasEmptyMac, this);
    ui->syncNowAction->setEnabled(hasEmptyMac);
    controller->setMainWindowId(winId());

    // Disabled together while a command waits; each keeps its own state.
    commandActions = new QActionGroup(this);
    commandActions->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    for (QAction *action : {ui->saveAction,
                            ui->reloadAction,
                            ui->syncNowAction,
                            ui->serviceSettAction,
                            ui->startStopServiceAction,
                            ui->restartServiceAction,
                            ui->enDisServiceAction,
                            ui->addNewServiceAction,
                            ui->deleteServiceAction}) {
        commandActions->addAction(action);
    }

    connect(ui->syncNowAction, &QAction::triggered, this, &MainWindow::showSyncDialog);
    connect(ui->serviceSettAction, &QAction::triggered, this, &MainWindow::openSettingsDialog);
    connect(ui->settBtn, &QPushButton::clicked, this, &MainWindow::openSettingsDialog);
    connect(ui->startStopServiceAction, &QAction::triggered, this, &MainWindow::startStopSelectedService);
    connect(ui->enDisServiceAction, &QAction::triggered, this, &MainWindow::enableDisableSelectedService);
    connect(ui->restartServiceAction, &QAction::triggered, this, &MainWindow::restartSelectedService);
    connect(ui->saveAction, &QAction::triggered, this, &MainWindow::save);
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
        // ntpdig's own report ("ntpdig: ...") names no cause the user could
        // act on. The library's own texts (ntpdig or pkexec missing, not
        // authorized, ...) mention ntpdig in passing and stay as they are.
        const QString text = message.startsWith(QLatin1String("ntpdig:")) ? ki18nd("kcm_zel_admin_time", "ntpdig: no eligible servers").toString() : message;
        const QPointer<MainWindow> self(this);
        QMessageBox::critical(this, ki18nd("kcm_zel_admin_time", "Error!").toString(), text, QMessageBox::Ok);
        if (self) {
            showTempStatusMessage(1, ki18nd("kcm_zel_admin_time", "Time sync error").toString());
        }
    });
    connect(controller, &LogicController::syncOK, this, [this] {
        showTempStatusMessage(0, ki18nd("kcm_zel_admin_time", "Time synced successfully").toString());
    });
    connect(ui->servicesListView, &QAbstractItemView::doubleClicked, this, [this] {
        // Not gated by the settings action, but by a command that waits.
        if (commandLocks == 0) {
            openSettingsDialog();
        }
    });
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
#ifndef QT_NO_SESSIONMANAGER
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        // Not under an open box of the window, whatever the host.
        if (hasOpenModal()) {
            manager.cancel();
            return;
        }
        // A main window host asks at session end by itself.
        if (!hostWindow || !isConfigChanged || !manager.allowsInteraction()) {
            return;
        }
        const QPointer<MainWindow> self(this);
        const bool close = resolveChangesBeforeClose();
        manager.release();
        if (!self) {
            return;
        }
        if (!close) {
            manager.cancel();
            return;
        }
        // Qt closes the windows right after this request.
        hostCloseAnswered = true;
        QTimer::singleShot(0, this, [this] {
            hostCloseAnswered = false;
        });
    });
#endif

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
    const CommandLock lock(this);
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
    const QPointer<MainWindow> self(this);
    controller->applyConfig();
    if (!self) {
        return true;
    }
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

bool MainWindow::resolveChangesBeforeClose()
{
    if (!isConfigChanged) {
        return true;
    }
    const CommandLock lock(this);
    const QMessageBox::StandardButton answer = askToSaveChanges();
    if (!lock.windowAlive()) {
        return true;
    }
    if (answer == QMessageBox::Yes) {
        // A failed save keeps the window, and the changes, open.
        return applyConfigSucceeded();
    }
    return answer == QMessageBox::No;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (hasOpenModal()) {
        event->ignore();
        return;
    }
    const QPointer<MainWindow> self(this);
    const bool close = resolveChangesBeforeClose();
    if (!self) {
        return;
    }
    if (!close) {
        event->ignore();
        return;
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
