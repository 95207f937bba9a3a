// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/serverlisteditor.h"

#include "common/serveraddress.h"
#include "settingspages/fieldmarks.h"
#include "sources/servertester.h"
#include "sources/sourcesmodel.h"

#include <KLocalizedString>

#include "ui_serverlisteditor.h"

using Config::NoValue;
using Config::ServerEntry;

static QString invalidAddressText()
{
    return ki18nd("kcm_zel_admin_time", "Not a valid host name, IPv4 or IPv6 address.").toString();
}

ServerListEditor::ServerListEditor(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::ServerListEditor>())
    , m_tester(new ServerTester(this))
{
    ui->setupUi(this);
    ui->testServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("network-connect")));
    ui->testResultLabel->hide();
    connect(ui->testServerBtn, &QPushButton::clicked, this, &ServerListEditor::testServer);
    connect(m_tester, &ServerTester::finished, this, &ServerListEditor::tested);
    ui->moveUpBtn->setIcon(QIcon::fromTheme(QStringLiteral("go-up")));
    ui->moveDownBtn->setIcon(QIcon::fromTheme(QStringLiteral("go-down")));
    ui->removeServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    ui->addServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    ui->newServerEdit->setValidator(new ServerAddressValidator(ui->newServerEdit));
    ui->addressEdit->setValidator(new ServerAddressValidator(ui->addressEdit));
    ui->hintLabel->hide();

    connect(ui->addServerBtn, &QPushButton::clicked, this, &ServerListEditor::addServer);
    connect(ui->newServerEdit, &QLineEdit::returnPressed, this, &ServerListEditor::addServer);
    connect(ui->newServerEdit, &QLineEdit::textChanged, this, &ServerListEditor::newServerEdited);
    connect(ui->removeServerBtn, &QToolButton::clicked, this, &ServerListEditor::removeServer);
    connect(ui->moveUpBtn, &QToolButton::clicked, this, [this] {
        moveServer(-1);
    });
    connect(ui->moveDownBtn, &QToolButton::clicked, this, [this] {
        moveServer(1);
    });
    connect(ui->serversList, &QListWidget::currentRowChanged, this, &ServerListEditor::showSelected);
    connect(ui->addressEdit, &QLineEdit::textEdited, this, &ServerListEditor::addressEdited);
    connect(ui->addressEdit, &QLineEdit::editingFinished, this, [this] {
        // What was never accepted goes back to the entry's address.
        const int row = selectedRow();
        if (row >= 0 && ui->addressEdit->property("invalid").toBool()) {
            ui->addressEdit->setText(m_entries.at(row).host);
            markField(ui->addressEdit, false);
            ui->hintLabel->hide();
        }
    });
    connect(ui->kindCombo, qOverload<int>(&QComboBox::activated), this, &ServerListEditor::entryChanged);
    for (QCheckBox *box : {ui->iburstChB, ui->preferChB, ui->ntsChB, ui->trustedChB}) {
        connect(box, &QCheckBox::toggled, this, &ServerListEditor::entryChanged);
    }
    for (QSpinBox *spin : {ui->minpollSpin, ui->maxpollSpin, ui->weightSpin}) {
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), this, &ServerListEditor::entryChanged);
    }
    setOptions(ServerOptions());
}

ServerListEditor::~ServerListEditor() = default;

void ServerListEditor::setOptions(const ServerOptions &options)
{
    m_options = options;
    m_loading = true;
    const bool bare = options.directives.isEmpty();
    ui->kindLabel->setVisible(!bare);
    ui->kindCombo->setVisible(!bare);
    ui->kindCombo->clear();
    ui->kindCombo->addItems(options.directives);
    ui->iburstChB->setVisible(options.iburst);
    ui->preferChB->setVisible(options.prefer);
    ui->ntsChB->setVisible(options.nts);
    ui->trustedChB->setVisible(options.trusted);
    ui->optionsLabel->setVisible(options.iburst || options.prefer || options.nts || options.trusted);

    const QString byDefault = ki18nd("kcm_zel_admin_time", "Default").toString();
    const QString log2Suffix = ki18nd("kcm_zel_admin_time", " log2 s").toString();
    for (QSpinBox *spin : {ui->minpollSpin, ui->maxpollSpin}) {
        // One below the lowest value stands for "not set".
        spin->setRange(options.pollMinimum - 1, options.pollMaximum);
        spin->setSpecialValueText(byDefault);
        spin->setSuffix(log2Suffix);
        spin->setVisible(options.pollRange);
    }
    ui->minpollLabel->setVisible(options.pollRange);
    ui->maxpollLabel->setVisible(options.pollRange);
    ui->weightSpin->setRange(options.weightMinimum - 1, options.weightMaximum);
    ui->weightSpin->setSpecialValueText(byDefault);
    ui->weightSpin->setVisible(options.weight);
    ui->weightLabel->setVisible(options.weight);
    m_loading = false;
    showSelected();
}

void ServerListEditor::setEntries(const QVector<ServerEntry> &entries)
{
    m_loading = true;
    m_entries = entries;
    ui->serversList->clear();
    for (int row = 0; row < m_entries.size(); ++row) {
        ui->serversList->addItem(QString());
        updateItem(row);
    }
    ui->serversList->setCurrentRow(m_entries.isEmpty() ? -1 : 0);
    ui->newServerEdit->clear();
    markField(ui->newServerEdit, false);
    m_loading = false;
    showSelected();
}

QVector<ServerEntry> ServerListEditor::entries() const
{
    return m_entries;
}

QStringList ServerListEditor::hosts() const
{
    QStringList hosts;
    for (const ServerEntry &entry : m_entries) {
        hosts.append(entry.host);
    }
    return hosts;
}

int ServerListEditor::selectedRow() const
{
    const int row = ui->serversList->currentRow();
    return row >= 0 && row < m_entries.size() ? row : -1;
}

void ServerListEditor::updateItem(int row)
{
    QListWidgetItem *item = ui->serversList->item(row);
    const ServerEntry &entry = m_entries.at(row);
    item->setText(entry.host);
    // A name the file already held but that is not valid: it must be
    // corrected before the file can be saved.
    const bool valid = ServerAddress::isValid(entry.host);
    item->setForeground(valid ? QBrush() : QBrush(QColor(0xda, 0x44, 0x53)));
    item->setToolTip(valid ? entry.directive : invalidAddressText());
}

void ServerListEditor::updateButtons()
{
    const int row = selectedRow();
    ui->removeServerBtn->setEnabled(row >= 0);
    ui->moveUpBtn->setEnabled(row > 0);
    ui->moveDownBtn->setEnabled(row >= 0 && row + 1 < m_entries.size());
    ui->detailsGB->setEnabled(row >= 0);
    ui->testServerBtn->setEnabled(!m_tester->isRunning() && !testAddress().isEmpty());
}

void ServerListEditor::showSelected()
{
    if (m_loading) {
        return;
    }
    m_loading = true;
    const int row = selectedRow();
    const ServerEntry entry = row >= 0 ? m_entries.at(row) : ServerEntry();
    ui->addressEdit->setText(entry.host);
    markField(ui->addressEdit, false);
    ui->hintLabel->hide();
    int kind = -1;
    for (int i = 0; i < m_options.directives.size(); ++i) {
        if (m_options.directives.at(i).compare(entry.directive, Qt::CaseInsensitive) == 0) {
            kind = i;
        }
    }
    ui->kindCombo->setCurrentIndex(kind);
    ui->iburstChB->setChecked(entry.iburst);
    ui->preferChB->setChecked(entry.prefer);
    ui->ntsChB->setChecked(entry.nts);
    ui->trustedChB->setChecked(entry.trusted);
    auto showValue = [](QSpinBox *spin, int value) {
        spin->setValue(value == NoValue ? spin->minimum() : value);
    };
    showValue(ui->minpollSpin, entry.minpoll);
    showValue(ui->maxpollSpin, entry.maxpoll);
    showValue(ui->weightSpin, entry.weight);
    updateButtons();
    m_loading = false;
}

void ServerListEditor::newServerEdited(const QString &text)
{
    const QString host = text.trimmed();
    bool duplicate = false;
    for (const ServerEntry &entry : qAsConst(m_entries)) {
        duplicate = duplicate || entry.host.compare(host, Qt::CaseInsensitive) == 0;
    }
    const bool valid = ServerAddress::isValid(host);
    ui->addServerBtn->setEnabled(valid && !duplicate);
    QString why;
    if (!host.isEmpty() && !valid) {
        why = invalidAddressText();
    } else if (duplicate) {
        why = ki18nd("kcm_zel_admin_time", "This server is in the list already.").toString();
    }
    markField(ui->newServerEdit, !why.isEmpty(), why);
    ui->hintLabel->setText(why);
    ui->hintLabel->setVisible(!why.isEmpty());
    updateButtons();
}

QString ServerListEditor::testAddress() const
{
    const QString entered = ui->newServerEdit->text().trimmed();
    const int row = selectedRow();
    return !entered.isEmpty() ? entered : row >= 0 ? m_entries.at(row).host : QString();
}

void ServerListEditor::testServer()
{
    const QString address = testAddress();
    // An NTS check needs the entry's nts option: only a listed server has one.
    const int row = selectedRow();
    const bool nts = ui->newServerEdit->text().trimmed().isEmpty() && row >= 0 && m_options.nts && m_entries.at(row).nts;
    ui->testResultLabel->setText(ki18nd("kcm_zel_admin_time", "Asking %1…").subs(address).toString());
    ui->testResultLabel->show();
    m_tester->start(address, nts);
    updateButtons();
}

void ServerListEditor::tested(const ServerCheck &check)
{
    QString text;
    if (check.reachable) {
        text = ki18nd("kcm_zel_admin_time", "The server answers: stratum %1, offset %2, round-trip delay %3.")
                   .subs(check.stratum)
                   .subs(SourcesModel::durationText(check.offset, true))
                   .subs(std::isnan(check.delay) ? QStringLiteral("?") : SourcesModel::durationText(check.delay, false))
                   .toString();
    } else {
        text = ki18nd("kcm_zel_admin_time", "The server does not answer: %1").subs(check.error).toString();
    }
    if (check.nts == ServerCheck::NtsWorks) {
        text += QLatin1Char('\n') + ki18nd("kcm_zel_admin_time", "The NTS key exchange works.").toString();
    } else if (check.nts == ServerCheck::NtsFails) {
        text += QLatin1Char('\n') + ki18nd("kcm_zel_admin_time", "The NTS key exchange fails: %1").subs(check.ntsError).toString();
    }
    ui->testResultLabel->setText(text);
    ui->testResultLabel->setProperty("reachable", check.reachable);
    updateButtons();
}

void ServerListEditor::addServer()
{
    const QString host = ui->newServerEdit->text().trimmed();
    if (!ui->addServerBtn->isEnabled() || !ServerAddress::isValid(host)) {
        return;
    }
    ServerEntry entry;
    entry.directive = m_options.directives.value(0);
    entry.host = host;
    // What a new source usually wants: a quick first answer.
    entry.iburst = m_options.iburst;
    m_entries.append(entry);
    ui->serversList->addItem(QString());
    updateItem(m_entries.size() - 1);
    ui->newServerEdit->clear();
    ui->serversList->setCurrentRow(m_entries.size() - 1);
    Q_EMIT edited();
}

void ServerListEditor::removeServer()
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    m_entries.removeAt(row);
    m_loading = true;
    delete ui->serversList->takeItem(row);
    ui->serversList->setCurrentRow(qMin(row, m_entries.size() - 1));
    m_loading = false;
    showSelected();
    newServerEdited(ui->newServerEdit->text());
    Q_EMIT edited();
}

void ServerListEditor::moveServer(int step)
{
    const int row = selectedRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= m_entries.size()) {
        return;
    }
    m_entries.move(row, to);
    m_loading = true;
    updateItem(row);
    updateItem(to);
    ui->serversList->setCurrentRow(to);
    m_loading = false;
    showSelected();
    Q_EMIT edited();
}

void ServerListEditor::addressEdited(const QString &text)
{
    const int row = selectedRow();
    if (row < 0) {
        return;
    }
    const QString host = text.trimmed();
    if (!ServerAddress::isValid(host)) {
        markField(ui->addressEdit, true, invalidAddressText());
        ui->hintLabel->setText(invalidAddressText());
        ui->hintLabel->show();
        return;
    }
    markField(ui->addressEdit, false);
    ui->hintLabel->hide();
    if (m_entries.at(row).host == host) {
        return;
    }
    m_entries[row].host = host;
    updateItem(row);
    Q_EMIT edited();
}

void ServerListEditor::entryChanged()
{
    const int row = selectedRow();
    if (m_loading || row < 0) {
        return;
    }
    ServerEntry &entry = m_entries[row];
    const ServerEntry before = entry;
    const QString kind = ui->kindCombo->currentText();
    if (!kind.isEmpty() && kind.compare(entry.directive, Qt::CaseInsensitive) != 0) {
        entry.directive = kind;
    }
    entry.iburst = ui->iburstChB->isChecked();
    entry.prefer = ui->preferChB->isChecked();
    entry.nts = ui->ntsChB->isChecked();
    entry.trusted = ui->trustedChB->isChecked();
    // A spin box shows a value it cannot hold as its nearest one; only a
    // real change of it replaces what the file says.
    auto takeValue = [](QSpinBox *spin, int &value) {
        const int shown = value == NoValue ? spin->minimum() : qBound(spin->minimum(), value, spin->maximum());
        if (spin->value() != shown) {
            value = spin->value() == spin->minimum() ? NoValue : spin->value();
        }
    };
    takeValue(ui->minpollSpin, entry.minpoll);
    takeValue(ui->maxpollSpin, entry.maxpoll);
    takeValue(ui->weightSpin, entry.weight);

    // chrony and ntpd refuse a minimum poll above the maximum.
    const bool pollsCrossed = entry.minpoll != NoValue && entry.maxpoll != NoValue && entry.minpoll > entry.maxpoll;
    const QString crossed = ki18nd("kcm_zel_admin_time", "The minimum poll interval must not be above the maximum one.").toString();
    markField(ui->minpollSpin, pollsCrossed, crossed);
    markField(ui->maxpollSpin, pollsCrossed, crossed);
    if (pollsCrossed) {
        entry.minpoll = before.minpoll;
        entry.maxpoll = before.maxpoll;
        ui->hintLabel->setText(crossed);
        ui->hintLabel->show();
        return;
    }
    ui->hintLabel->hide();
    if (!entry.sameSettings(before)) {
        updateItem(row);
        Q_EMIT edited();
    }
}
