// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/mainsettingsdialog.h"

#include <KLocalizedString>
#include <QPushButton>

#include "ui_mainsettingsdialog.h"

static constexpr int OriginRole = Qt::UserRole + 1;

MainSettingsDialog::MainSettingsDialog(const QString &serviceName, const DirectiveRules &rules, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::MainSettingsDialog>())
    , m_rules(rules)
{
    ui->setupUi(this);
    setWindowTitle(ki18nd("kcm_zel_admin_time", "Settings of %1").subs(serviceName).toString());
    ui->introLabel->setText(
        ki18nd("kcm_zel_admin_time", "The directives of the %1 configuration that its settings page does not show. They are written as given here.")
            .subs(serviceName)
            .toString());
    ui->addDirectiveBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    ui->removeDirectiveBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    ui->errorLabel->hide();

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ui->addDirectiveBtn, &QPushButton::clicked, this, [this] {
        addRow({});
        const int row = ui->directivesTable->rowCount() - 1;
        ui->directivesTable->setCurrentCell(row, 0);
        ui->directivesTable->editItem(ui->directivesTable->item(row, 0));
        validate();
    });
    connect(ui->removeDirectiveBtn, &QPushButton::clicked, this, [this] {
        const int row = ui->directivesTable->currentRow();
        if (row >= 0) {
            ui->directivesTable->removeRow(row);
            validate();
        }
    });
    connect(ui->directivesTable, &QTableWidget::itemChanged, this, &MainSettingsDialog::validate);
    connect(ui->directivesTable, &QTableWidget::itemSelectionChanged, this, [this] {
        ui->removeDirectiveBtn->setEnabled(ui->directivesTable->currentRow() >= 0);
    });
    ui->removeDirectiveBtn->setEnabled(false);
}

MainSettingsDialog::~MainSettingsDialog() = default;

void MainSettingsDialog::addRow(const Config::DirectiveEntry &entry)
{
    const QSignalBlocker blocker(ui->directivesTable);
    const int row = ui->directivesTable->rowCount();
    ui->directivesTable->insertRow(row);
    auto *key = new QTableWidgetItem(entry.key);
    key->setData(OriginRole, entry.origin);
    ui->directivesTable->setItem(row, 0, key);
    ui->directivesTable->setItem(row, 1, new QTableWidgetItem(entry.value));
}

void MainSettingsDialog::setDirectives(const QVector<Config::DirectiveEntry> &directives)
{
    ui->directivesTable->setRowCount(0);
    for (const Config::DirectiveEntry &entry : directives) {
        addRow(entry);
    }
    ui->directivesTable->resizeColumnToContents(0);
    validate();
}

QVector<Config::DirectiveEntry> MainSettingsDialog::directives() const
{
    QVector<Config::DirectiveEntry> directives;
    for (int row = 0; row < ui->directivesTable->rowCount(); ++row) {
        const QTableWidgetItem *key = ui->directivesTable->item(row, 0);
        const QTableWidgetItem *value = ui->directivesTable->item(row, 1);
        directives.append({key ? key->text().trimmed() : QString(), value ? value->text().trimmed() : QString(), key ? key->data(OriginRole).toInt() : -1});
    }
    return directives;
}

void MainSettingsDialog::validate()
{
    const QSignalBlocker blocker(ui->directivesTable);
    QString firstProblem;
    const QBrush negative(QColor(0xda, 0x44, 0x53));
    for (int row = 0; row < ui->directivesTable->rowCount(); ++row) {
        QTableWidgetItem *key = ui->directivesTable->item(row, 0);
        QTableWidgetItem *value = ui->directivesTable->item(row, 1);
        if (!value) {
            value = new QTableWidgetItem;
            ui->directivesTable->setItem(row, 1, value);
        }
        const QString keyText = key ? key->text().trimmed() : QString();
        QString keyProblem;
        if (!m_rules.validKey(keyText)) {
            keyProblem = ki18nd("kcm_zel_admin_time", "Row %1: \"%2\" is not a directive name.").subs(row + 1).subs(keyText).toString();
        } else if (m_rules.managedKey(keyText)) {
            keyProblem = ki18nd("kcm_zel_admin_time", "Row %1: %2 is set on the settings page.").subs(row + 1).subs(keyText).toString();
        }
        const QString valueProblem = m_rules.validValue(value->text().trimmed())
            ? QString()
            : ki18nd("kcm_zel_admin_time", "Row %1: the value holds characters the file cannot take.").subs(row + 1).toString();
        if (key) {
            key->setForeground(keyProblem.isEmpty() ? QBrush() : negative);
            key->setToolTip(keyProblem);
            key->setData(Qt::UserRole + 2, !keyProblem.isEmpty());
        }
        value->setForeground(valueProblem.isEmpty() ? QBrush() : negative);
        value->setToolTip(valueProblem);
        value->setData(Qt::UserRole + 2, !valueProblem.isEmpty());
        if (firstProblem.isEmpty()) {
            firstProblem = !keyProblem.isEmpty() ? keyProblem : valueProblem;
        }
    }
    ui->errorLabel->setText(firstProblem);
    ui->errorLabel->setVisible(!firstProblem.isEmpty());
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(firstProblem.isEmpty());
}
