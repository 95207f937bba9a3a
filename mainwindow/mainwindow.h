// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QModelIndex>
#include <QPointer>
#include <QString>

class Ui_AppSkeleton;
class LogicController;
class QCloseEvent;
class QItemSelection;
class QPersistentModelIndex;
class QLabel;
class QTimer;
class QStandardItemModel;
class SyncNowDialog;
class ChoosePackDialog;
class MainWindow;
class QActionGroup;

// Holds every command of the window disabled while one waits in a nested
// event loop (a systemd job, a polkit prompt, the package manager, a
// question). It outlives a window the host deletes meanwhile.
class CommandLock
{
public:
    explicit CommandLock(MainWindow *window);
    ~CommandLock();
    // False once the window was deleted while the command waited.
    bool windowAlive() const
    {
        return !window.isNull();
    }

private:
    QPointer<MainWindow> window;
    Q_DISABLE_COPY(CommandLock)
};

// The module's one window: the service list with the settings pages, the
// per-service commands and the status line. All system work is the
// controller's; the window turns user commands into controller calls and the
// controller's answers into icons, action states and messages.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Cached per row of the service list; written when the list is built and
    // by the state refresh only.
    enum ServiceRole {
        ServiceStateRole = Qt::UserRole + 3,
        ServiceEnablingRole = Qt::UserRole + 4,
    };

    explicit MainWindow(bool hasEmptyMac, QMainWindow *parent = nullptr);
    ~MainWindow() override;

    // Applies the configuration whether or not anything changed.
    void save();
    void loadSettings();

Q_SIGNALS:
    void changed(bool isChanged);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void changeCurrentWidget(const QItemSelection &newSelect);
    void showSyncDialog();
    void showChoosePackDialog();
    void confirmUninstall();
    void startStopSelectedService();
    void enableDisableSelectedService();
    void restartSelectedService();
    void restoreStatusBar();
    void setLastSynchroToolTip(const LastSynchroInfo &info);
    void disableGettingLastSynchroInfo();

private:
    // Window texts
    void setLabels();
    void setToolTips();
    // Icons the theme may lack get a stand-in of the same meaning.
    void setThemeIcons();

    // Service list and settings pages
    void createServiceModel();
    void setIconToModelItem(int row, ServiceState state) const;
    void fillStackedWidget();
    void reloadSystemState();

    // Service commands
    void actualizeServiceState(QModelIndex index);
    void actualizeServiceEnabling(QModelIndex index);
    void updateServiceState();
    // The selected row and its service name, or the no-selection notice.
    bool takeSelectedService(QPersistentModelIndex &index, QString &name);
    // The row a command started on when it is still the selected one after
    // calls that may run the event loop; otherwise the selected row, which
    // is the service the controller now answers for.
    QModelIndex selectedAfterWait(const QPersistentModelIndex &index) const;
    void showStartFailure(const QString &name);

    // Package management
    void installThisService(const QString &service);
    void uninstallCurrentService();

    // Last synchronization info
    bool isGettingLastSynchroInfoDisabled() const;
    void requestLastSynchroInfo();

    // Status bar
    void initStatusBar();
    void fillStatusBar(int state);
    void showWaitStatusMessage();
    void showTempStatusMessage(int type, const QString &message);
    void setStatusIcon(const char *name);

    // Command action states
    void actualizeBtnsEnabling();
    void disableButtons();
    // The buttons that stand for actions follow them, and stay disabled
    // while a command waits.
    void lockCommands();
    void unlockCommands();
    void keepButtonsLocked();
    void openSettingsDialog();
    void setIconToStartStopBtn(int state) const;
    void setIconToEnDisBtn(int enabling) const;

    // applyConfig(), and whether the controller answered without an error.
    bool applyConfigSucceeded();
    // The unsaved-changes question of the close and the reload.
    QMessageBox::StandardButton askToSaveChanges();
    // Asks about unsaved changes before a close; false keeps the window.
    bool resolveChangesBeforeClose();

    // Closing the host's window. A dialog host (kcmshell5) closes its
    // modules without asking; a main-window host (System Settings) asks
    // about the changes it was told of by itself.
    void watchHostWindow();
    bool mayCloseHost();
    // A message box or a modal dialog of the window is open: its nested
    // loop runs.
    bool hasOpenModal() const;

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

    // A reload runs: one asked for meanwhile is left to it.
    bool isReloading;
    // A rebuild of the reload rule selects this service while it is listed.
    QString keptService;
    // Every command action; disabled as a whole while a command waits.
    QActionGroup *commandActions;
    int commandLocks;
    QPointer<QWidget> hostWindow;
    QList<QMetaObject::Connection> hostConnections;
    // The session end already asked: the windows' close that follows passes.
    bool hostCloseAnswered;

    friend class CommandLock;
};
