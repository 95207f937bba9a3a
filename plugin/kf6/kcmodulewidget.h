// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "mainwindow.h"

#include <KCModule>

#include <QPointer>
#include <QVBoxLayout>

// The control module as KF6 hosts expect it: a KCModule that is no widget
// itself, with the main window as the only child of its widget(), a Help
// button, and the window's unsaved-changes state passed on as needsSave.
class KCModuleWidget : public KCModule
{
    Q_OBJECT

public:
    KCModuleWidget(QObject *parent, const KPluginMetaData &data);
    ~KCModuleWidget() override;

    // Tells the host whether there are unsaved changes.
    void setChanged(bool state);

    void save() override;

private:
    // KF6 hands widget() to the host, which may delete it before the module:
    // the window and layout live in it, guarded, and go layout first, then
    // window, whichever of the two is deleted first.
    QPointer<MainWindow> mainWindow;
    QPointer<QVBoxLayout> mainLayout;
};
