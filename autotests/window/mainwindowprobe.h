// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "mainwindow.h"

#include <QLabel>
#include <QStandardItemModel>
#include <QTimer>

// Reaches the window's private state and operations from the tests; the
// controls themselves are found by object name.
class MainWindowProbe
{
public:
    explicit MainWindowProbe(MainWindow *window)
        : w(window)
    {
    }

    bool isConfigChanged() const
    {
        return w->isConfigChanged;
    }
    int lastStatusState() const
    {
        return w->lastStatusState;
    }
    int lastServiceState() const
    {
        return w->lastServiceState;
    }
    bool lastSynchroInfoRequested() const
    {
        return w->lastSynchroInfoRequested;
    }
    bool hasEmptyMac() const
    {
        return w->hasEmptyMac;
    }
    LogicController *controller() const
    {
        return w->controller;
    }
    QStandardItemModel *servicesModel() const
    {
        return w->servicesModel;
    }
    QTimer *updateTimer() const
    {
        return w->updateTimer;
    }
    QLabel *statusIconLabel() const
    {
        return w->statusIconLabel;
    }
    QLabel *statusTextLabel() const
    {
        return w->statusTextLabel;
    }

    void fillStatusBar(int state)
    {
        w->fillStatusBar(state);
    }
    void showWaitStatusMessage()
    {
        w->showWaitStatusMessage();
    }
    void showTempStatusMessage(int type, const QString &message)
    {
        w->showTempStatusMessage(type, message);
    }
    void setIconToStartStopBtn(int state)
    {
        w->setIconToStartStopBtn(state);
    }
    void setIconToEnDisBtn(int enabling)
    {
        w->setIconToEnDisBtn(enabling);
    }
    void actualizeBtnsEnabling()
    {
        w->actualizeBtnsEnabling();
    }
    void disableButtons()
    {
        w->disableButtons();
    }
    // One tick of the poll, through its connection.
    void tick()
    {
        QMetaObject::invokeMethod(w->updateTimer, "timeout");
    }

private:
    MainWindow *w;
};
