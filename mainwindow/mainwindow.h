// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QMainWindow>
#include <QString>

class Ui_AppSkeleton;
class LogicController;
class QCloseEvent;
class QLabel;
class QTimer;
class QStandardItemModel;
class SyncNowDialog;
class ChoosePackDialog;
class MainWindowProbe;

// The module's one window: the service list with the settings pages, the
// per-service commands and the status line. All system work is the
// controller's; the window turns user commands into controller calls and the
// controller's answers into icons, action states and messages.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(bool hasEmptyMac, QMainWindow *parent = nullptr);
    ~MainWindow() override;

    // Applies the configuration whether or not anything changed.
    void save();
    void loadSettings();

Q_SIGNALS:
    void changed(bool isChanged);

protected:
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    void showSyncDialog();
    void showChoosePackDialog();
    void confirmUninstall();
    void restoreStatusBar();

private:
    // Window texts
    void setLabels();
    void setToolTips();
    // Icons the theme may lack get a stand-in of the same meaning.
    void setThemeIcons();

    // Package management
    void installThisService(const QString &service);
    void uninstallCurrentService();

    // Status bar
    void initStatusBar();
    void fillStatusBar(int state);
    void showWaitStatusMessage();
    void showTempStatusMessage(int type, const QString &message);
    void setStatusIcon(const char *name);

    // Command action states
    void actualizeBtnsEnabling();
    void disableButtons();
    void setIconToStartStopBtn(int state) const;
    void setIconToEnDisBtn(int enabling) const;

    // applyConfig(), and whether the controller answered without an error.
    bool applyConfigSucceeded();

    Ui_AppSkeleton *ui;
    LogicController *controller;
    QStandardItemModel *servicesModel;
    SyncNowDialog *syncNowDialog;
    ChoosePackDialog *choosePackDialog;
    bool isConfigChanged;
    QLabel *statusIconLabel;
    QLabel *statusTextLabel;
    int lastStatusState;
    bool hasEmptyMac;
    QTimer *updateTimer;
    int lastServiceState;
    bool lastSynchroInfoRequested;

    QString startServiceText;
    QString stopServiceText;
    QString startServiceToolTip;
    QString conflictToolTip;
    QString stopServiceToolTip;
    QString enableServiceText;
    QString disableServiceText;
    QString notStartingAtBootToolTip;
    QString startingAtBootToolTip;
    QString restartServiceToolTip;

    // The window's tests reach its state through this.
    friend class MainWindowProbe;
};
