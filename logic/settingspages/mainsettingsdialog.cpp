// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/mainsettingsdialog.h"

#include <KLocalizedString>
#include <QPushButton>

#include "ui_mainsettingsdialog.h"

static constexpr int OriginRole = Qt::UserRole + 1;
// A row as read from the file: kept as it is, it needs no check.
static constexpr int ReadRole = Qt::UserRole + 3;

MainSettingsDialog::MainSettingsDialog(const QString &serviceName, const DirectiveRules &rules, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::MainSettingsDialog>())
    , m_rules(rules)
{
    m_ui->setupUi(this);
    setWindowTitle(ki18nd("kcm_zel_admin_time", "Settings of %1").subs(serviceName).toString());
    m_ui->introLabel->setText(
        ki18nd("kcm_zel_admin_time", "The directives of the %1 configuration that its settings page does not show. They are written as given here.")
            .subs(serviceName)
            .toString());
    m_ui->addDirectiveBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_ui->removeDirectiveBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    m_ui->errorLabel->hide();

    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_ui->addDirectiveBtn, &QPushButton::clicked, this, [this] {
        addRow({});
        const int row = m_ui->directivesTable->rowCount() - 1;
        m_ui->directivesTable->setCurrentCell(row, 0);
        m_ui->directivesTable->editItem(m_ui->directivesTable->item(row, 0));
        validate();
    });
    connect(m_ui->removeDirectiveBtn, &QPushButton::clicked, this, [this] {
        const int row = m_ui->directivesTable->currentRow();
        if (row >= 0) {
            m_ui->directivesTable->removeRow(row);
            validate();
        }
    });
    connect(m_ui->directivesTable, &QTableWidget::itemChanged, this, &MainSettingsDialog::validate);
    connect(m_ui->directivesTable, &QTableWidget::itemSelectionChanged, this, [this] {
        m_ui->removeDirectiveBtn->setEnabled(m_ui->directivesTable->currentRow() >= 0);
    });
    m_ui->removeDirectiveBtn->setEnabled(false);
}

MainSettingsDialog::~MainSettingsDialog() = default;

void MainSettingsDialog::addRow(const Config::DirectiveEntry &entry)
{
    const QSignalBlocker blocker(m_ui->directivesTable);
    const int row = m_ui->directivesTable->rowCount();
    m_ui->directivesTable->insertRow(row);
    auto *key = new QTableWidgetItem(entry.key);
    auto *value = new QTableWidgetItem(entry.value);
    key->setData(OriginRole, entry.origin);
    if (entry.origin >= 0) {
        key->setData(ReadRole, QStringList{entry.key, entry.value});
        // Only root may change what the dialog does not set; it may go.
        if (!m_rules.editableKey(entry.key)) {
            key->setFlags(key->flags() & ~Qt::ItemIsEditable);
            value->setFlags(value->flags() & ~Qt::ItemIsEditable);
        }
    }
    m_ui->directivesTable->setItem(row, 0, key);
    m_ui->directivesTable->setItem(row, 1, value);
}

void MainSettingsDialog::setDirectives(const QVector<Config::DirectiveEntry> &directives)
{
    m_ui->directivesTable->setRowCount(0);
    for (const Config::DirectiveEntry &entry : directives) {
        addRow(entry);
    }
    m_ui->directivesTable->resizeColumnToContents(0);
    validate();
}

QVector<Config::DirectiveEntry> MainSettingsDialog::directives() const
{
    QVector<Config::DirectiveEntry> directives;
    for (int row = 0; row < m_ui->directivesTable->rowCount(); ++row) {
        const QTableWidgetItem *key = m_ui->directivesTable->item(row, 0);
        const QTableWidgetItem *value = m_ui->directivesTable->item(row, 1);
        directives.append({key ? key->text().trimmed() : QString(), value ? value->text().trimmed() : QString(), key ? key->data(OriginRole).toInt() : -1});
    }
    return directives;
}

void MainSettingsDialog::validate()
{
    const QSignalBlocker blocker(m_ui->directivesTable);
    QString firstProblem;
    const QBrush negative(QColor(0xda, 0x44, 0x53));
    for (int row = 0; row < m_ui->directivesTable->rowCount(); ++row) {
        QTableWidgetItem *key = m_ui->directivesTable->item(row, 0);
        QTableWidgetItem *value = m_ui->directivesTable->item(row, 1);
        if (!value) {
            value = new QTableWidgetItem;
            m_ui->directivesTable->setItem(row, 1, value);
        }
        const QString keyText = key ? key->text().trimmed() : QString();
        const QString valueText = value->text().trimmed();
        const bool asRead = key && key->data(ReadRole).toStringList() == QStringList{keyText, valueText};
        QString keyProblem;
        if (asRead) {
            // Kept as it is in the file.
        } else if (!m_rules.validKey(keyText)) {
            keyProblem = ki18nd("kcm_zel_admin_time", "Row %1: \"%2\" is not a directive name.").subs(row + 1).subs(keyText).toString();
        } else if (m_rules.managedKey(keyText)) {
            keyProblem = ki18nd("kcm_zel_admin_time", "Row %1: %2 is set on the settings page.").subs(row + 1).subs(keyText).toString();
        } else if (!m_rules.editableKey(keyText)) {
            keyProblem = ki18nd("kcm_zel_admin_time", "Row %1: %2 cannot be set here; only the administrator can add it to the file.")
                             .subs(row + 1)
                             .subs(keyText)
                             .toString();
        }
        const QString valueProblem = asRead || !keyProblem.isEmpty() || m_rules.validValue(keyText, valueText)
            ? QString()
            : ki18nd("kcm_zel_admin_time", "Row %1: %2 does not take this value.").subs(row + 1).subs(keyText).toString();
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
    m_ui->errorLabel->setText(firstProblem);
    m_ui->errorLabel->setVisible(!firstProblem.isEmpty());
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(firstProblem.isEmpty());
}
