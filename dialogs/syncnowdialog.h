// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDialog>
#include <QRegularExpressionValidator>
#include <QString>
#include <QStringList>

class Ui_SyncNowDialog;

// Picks the server for a one-off synchronization, from a list or typed in.
class SyncNowDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SyncNowDialog(QWidget *parent);
    ~SyncNowDialog() override;

    // An empty list keeps what the dialog offered before.
    void addServers(const QStringList &servers);
    QString getSelectedServer();

private:
    void setLabels();
    void setToolTips();

    Ui_SyncNowDialog *ui;
    QRegularExpressionValidator serverValidator;
};
