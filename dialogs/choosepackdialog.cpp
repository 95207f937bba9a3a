// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "choosepackdialog.h"
#include "ui_choosepackdialog.h"

#include <KLocalizedString>

#include <QIcon>
#include <QPushButton>

ChoosePackDialog::ChoosePackDialog(const QMap<QString, QStringList> &conflicts, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_ChoosePackDialog)
    , conflictsMap(conflicts)
{
    ui->setupUi(this);
    setLabels();

    ui->comboBox->addItems(conflictsMap.keys());
    // Connected only now: the first item selected above is shown by hand below.
    connect(ui->comboBox, &QComboBox::currentTextChanged, this, &ChoosePackDialog::refreshConflicts);

    ui->conflictGB->hide();
    ui->iconLabel->setPixmap(QIcon::fromTheme(QStringLiteral("dialog-warning")).pixmap(QSize(32, 32), QIcon::Normal, QIcon::Off));

    // Without the conflict area the form needs only half its height.
    setMinimumHeight(height() / 2);
    resize(width(), height() / 2);

    if (!conflictsMap.isEmpty()) {
        refreshConflicts(conflictsMap.firstKey());
    }
    holdOkForEmptyList();
}

ChoosePackDialog::~ChoosePackDialog()
{
    delete ui;
}

void ChoosePackDialog::setItems(const QMap<QString, QStringList> &conflicts)
{
    conflictsMap = conflicts;
    // The conflict area follows through currentTextChanged: clearing hides it,
    // filling shows it for the first key if that one has conflicts.
    ui->comboBox->clear();
    ui->comboBox->addItems(conflictsMap.keys());
    holdOkForEmptyList();
}

QString ChoosePackDialog::getSelectedService()
{
    return ui->comboBox->currentText();
}

void ChoosePackDialog::refreshConflicts(const QString &service)
{
    const QString removed = buildStr(conflictsMap.value(service));
    QPushButton *okButton = ui->buttonBox->button(QDialogButtonBox::Ok);

    if (!removed.isEmpty()) {
        // Each service with conflicts needs its own consent.
        ui->agreeChB->setCheckState(Qt::Unchecked);
        ui->conflictLabel->setText(removed);
        if (ui->conflictGB->isHidden()) {
            okButton->setEnabled(ui->agreeChB->isChecked());
            ui->conflictGB->show();
            resize(width(), 2 * height());
            setMinimumHeight(height());
            connect(ui->agreeChB, &QCheckBox::stateChanged, this, [okButton](int state) {
                okButton->setEnabled(state != Qt::Unchecked);
            });
        }
        return;
    }

    if (ui->conflictGB->isHidden()) {
        return;
    }
    ui->conflictGB->hide();
    okButton->setEnabled(true);
    QObject::disconnect(ui->agreeChB, nullptr, nullptr, nullptr);
    // Lower the minimum first, or the resize would be clamped to it.
    setMinimumHeight(height() / 2);
    resize(width(), height() / 2);
}

QString ChoosePackDialog::buildStr(const QStringList &names)
{
    QString text;
    if (names.isEmpty()) {
        return text;
    }
    for (const QString &name : names) {
        text += name + QLatin1String(", ");
    }
    text.chop(2);
    return text;
}

void ChoosePackDialog::setLabels()
{
    setWindowTitle(ki18nd("kcm_zel_admin_time", "Choose a service").toString());
    ui->chooseServiceLabel->setText(ki18nd("kcm_zel_admin_time", "Choose a service to install").toString());
    ui->conflictGB->setTitle(ki18nd("kcm_zel_admin_time", "Conflict").toString());
    ui->serviceRemoveLabel->setText(ki18nd("kcm_zel_admin_time", "The following services will be removed:").toString());
    ui->agreeChB->setText(ki18nd("kcm_zel_admin_time", "I agree").toString());
}

void ChoosePackDialog::holdOkForEmptyList()
{
    QPushButton *okButton = ui->buttonBox->button(QDialogButtonBox::Ok);
    if (ui->comboBox->count() == 0) {
        okButton->setEnabled(false);
    } else if (ui->conflictGB->isHidden()) {
        okButton->setEnabled(true);
    }
}
