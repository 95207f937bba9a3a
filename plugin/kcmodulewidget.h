// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "mainwindow.h"

#include <KCModule>

#include <QVBoxLayout>

// The control module the host embeds: the main window as its only child,
// a Help button, and the window's unsaved-changes state passed on.
class KCModuleWidget : public KCModule
{
    Q_OBJECT

public:
    KCModuleWidget(QWidget *parent, const QVariantList &args);

    // Emits the host-facing KCModule::changed(state).
    void setChanged(bool state);

    void save() override;

private:
    // Members, so destroyed before the base: the layout first, then the window.
    MainWindow mainWindow;
    QVBoxLayout mainLayout;
};
