// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "kcmodulewidget.h"

#include "macdetect.h"

#include <KPluginFactory>

KCModuleWidget::KCModuleWidget(QObject *parent, const KPluginMetaData &data)
    : KCModule(parent, data)
    , mainWindow(new MainWindow(MACDetect::isCurrentProcessHasEmptyMAC(), nullptr))
    , mainLayout(new QVBoxLayout)
{
    mainLayout->addWidget(mainWindow);
    widget()->setLayout(mainLayout);
    mainWindow->show();
    setButtons(KCModule::Help);
    connect(mainWindow, &MainWindow::changed, this, &KCModuleWidget::setChanged);
}

KCModuleWidget::~KCModuleWidget()
{
    delete mainLayout.data();
    delete mainWindow.data();
}

void KCModuleWidget::setChanged(bool state)
{
    setNeedsSave(state);
}

void KCModuleWidget::save()
{
    if (mainWindow) {
        mainWindow->save();
    }
}

// The factory the host asks for the module, with the module's metadata
// (name, icon, category) embedded, as KF6 hosts find modules.
K_PLUGIN_FACTORY_WITH_JSON(KCModuleWidgetFactory, "../kcm_zel_admin_time.json", registerPlugin<KCModuleWidget>();)

#include "kcmodulewidget.moc"
