// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncnowdialog.h"
#include "ui_syncnowdialog.h"

#include <KLocalizedString>

#include <QRegularExpression>

SyncNowDialog::SyncNowDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_SyncNowDialog)
    // Host names and addresses only; \w stays ASCII without Unicode options.
    , serverValidator(QRegularExpression(QStringLiteral("^\\w[A-Za-z0-9_.-]+$")))
{
    ui->setupUi(this);
    setLabels();
    ui->serverSyncNowCombo->setValidator(&serverValidator);
}

SyncNowDialog::~SyncNowDialog()
{
    delete ui;
}

void SyncNowDialog::addServers(const QStringList &servers)
{
    if (servers.isEmpty()) {
        return;
    }
    ui->serverSyncNowCombo->clear();
    ui->serverSyncNowCombo->insertItems(ui->serverSyncNowCombo->count(), servers);
    ui->syncButton->setEnabled(true);
}

QString SyncNowDialog::getSelectedServer()
{
    return ui->serverSyncNowCombo->currentText();
}

void SyncNowDialog::setLabels()
{
    setWindowTitle(ki18nd("kcm_zel_admin_time", "Server selection").toString());
    ui->infoLabel->setText(ki18nd("kcm_zel_admin_time",
                                  "Synchronizing the system time\n"
                                  "will NOT affect\n"
                                  "the status of the time sync service.")
                               .toString());
    ui->serverLabel->setText(ki18nd("kcm_zel_admin_time", "Server").toString());
    ui->syncButton->setText(ki18nd("kcm_zel_admin_time", "Synchronize").toString());
    setToolTips();
}

void SyncNowDialog::setToolTips()
{
    ui->serverSyncNowCombo->setToolTip(ki18nd("kcm_zel_admin_time", "Choose or enter address").toString());
}
