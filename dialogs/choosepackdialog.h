// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>

class Ui_ChoosePackDialog;

// Offers the services that are not installed yet and, for the chosen one,
// the installed services its installation removes. While such a conflict is
// shown, OK waits for "I agree".
class ChoosePackDialog : public QDialog
{
    Q_OBJECT

public:
    // Keys: services that are not installed; values: the installed services
    // each of them removes.
    ChoosePackDialog(const QMap<QString, QStringList> &conflicts, QWidget *parent);
    ~ChoosePackDialog() override;

    void setItems(const QMap<QString, QStringList> &conflicts);
    QString getSelectedService();

private:
    void refreshConflicts(const QString &service);
    QString buildStr(const QStringList &names);
    void setLabels();
    // OK has nothing to accept while the list is empty.
    void holdOkForEmptyList();

    Ui_ChoosePackDialog *ui;
    QMap<QString, QStringList> conflictsMap;
};
