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
    , m_ui(std::make_unique<Ui::ServerListEditor>())
    , m_tester(new ServerTester(this))
{
    m_ui->setupUi(this);
    m_ui->testServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("network-connect")));
    m_ui->testResultLabel->hide();
    connect(m_ui->testServerBtn, &QPushButton::clicked, this, &ServerListEditor::testServer);
    connect(m_tester, &ServerTester::finished, this, &ServerListEditor::tested);
    m_ui->moveUpBtn->setIcon(QIcon::fromTheme(QStringLiteral("go-up")));
    m_ui->moveDownBtn->setIcon(QIcon::fromTheme(QStringLiteral("go-down")));
    m_ui->removeServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    m_ui->addServerBtn->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_ui->newServerEdit->setValidator(new ServerAddressValidator(m_ui->newServerEdit));
    m_ui->addressEdit->setValidator(new ServerAddressValidator(m_ui->addressEdit));
    m_ui->hintLabel->hide();
    m_ui->addressHintLabel->hide();
    m_ui->pollHintLabel->hide();

    connect(m_ui->addServerBtn, &QPushButton::clicked, this, &ServerListEditor::addServer);
    connect(m_ui->newServerEdit, &QLineEdit::returnPressed, this, &ServerListEditor::addServer);
    connect(m_ui->newServerEdit, &QLineEdit::textChanged, this, &ServerListEditor::newServerEdited);
    connect(m_ui->removeServerBtn, &QToolButton::clicked, this, &ServerListEditor::removeServer);
    connect(m_ui->moveUpBtn, &QToolButton::clicked, this, [this] {
        moveServer(-1);
    });
    connect(m_ui->moveDownBtn, &QToolButton::clicked, this, [this] {
        moveServer(1);
    });
    connect(m_ui->serversList, &QListWidget::currentRowChanged, this, &ServerListEditor::showSelected);
    connect(m_ui->addressEdit, &QLineEdit::textEdited, this, &ServerListEditor::addressEdited);
    connect(m_ui->addressEdit, &QLineEdit::editingFinished, this, [this] {
        // What was never accepted goes back to the entry's address.
        const int row = selectedRow();
        if (row >= 0 && m_ui->addressEdit->property("invalid").toBool()) {
            m_ui->addressEdit->setText(m_entries.at(row).host);
            markField(m_ui->addressEdit, false);
            m_ui->addressHintLabel->hide();
        }
    });
    connect(m_ui->kindCombo, qOverload<int>(&QComboBox::activated), this, &ServerListEditor::entryChanged);
    for (QCheckBox *box : {m_ui->iburstChB, m_ui->preferChB, m_ui->ntsChB, m_ui->trustedChB}) {
        connect(box, &QCheckBox::toggled, this, &ServerListEditor::entryChanged);
    }
    for (QSpinBox *spin : {m_ui->minpollSpin, m_ui->maxpollSpin, m_ui->weightSpin}) {
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
    m_ui->kindLabel->setVisible(!bare);
    m_ui->kindCombo->setVisible(!bare);
    m_ui->kindCombo->clear();
    m_ui->kindCombo->addItems(options.directives);
    m_ui->iburstChB->setVisible(options.iburst);
    m_ui->preferChB->setVisible(options.prefer);
    m_ui->ntsChB->setVisible(options.nts);
    m_ui->trustedChB->setVisible(options.trusted);
    m_ui->optionsLabel->setVisible(options.iburst || options.prefer || options.nts || options.trusted);

    const QString byDefault = ki18nd("kcm_zel_admin_time", "Default").toString();
    const QString log2Suffix = ki18nd("kcm_zel_admin_time", " log2 s").toString();
    for (QSpinBox *spin : {m_ui->minpollSpin, m_ui->maxpollSpin}) {
        // One below the lowest value stands for "not set".
        spin->setRange(options.pollMinimum - 1, options.pollMaximum);
        spin->setSpecialValueText(byDefault);
        spin->setSuffix(log2Suffix);
        spin->setVisible(options.pollRange);
    }
    m_ui->minpollLabel->setVisible(options.pollRange);
    m_ui->maxpollLabel->setVisible(options.pollRange);
    m_ui->weightSpin->setRange(options.weightMinimum - 1, options.weightMaximum);
    m_ui->weightSpin->setSpecialValueText(byDefault);
    m_ui->weightSpin->setVisible(options.weight);
    m_ui->weightLabel->setVisible(options.weight);
    m_loading = false;
    showSelected();
}

void ServerListEditor::setEntries(const QVector<ServerEntry> &entries)
{
    m_loading = true;
    m_entries = entries;
    m_ui->serversList->clear();
    for (int row = 0; row < m_entries.size(); ++row) {
        m_ui->serversList->addItem(QString());
        updateItem(row);
    }
    m_ui->serversList->setCurrentRow(m_entries.isEmpty() ? -1 : 0);
    m_ui->newServerEdit->clear();
    markField(m_ui->newServerEdit, false);
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
    const int row = m_ui->serversList->currentRow();
    return row >= 0 && row < m_entries.size() ? row : -1;
}

void ServerListEditor::updateItem(int row)
{
    QListWidgetItem *item = m_ui->serversList->item(row);
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
    m_ui->removeServerBtn->setEnabled(row >= 0);
    m_ui->moveUpBtn->setEnabled(row > 0);
    m_ui->moveDownBtn->setEnabled(row >= 0 && row + 1 < m_entries.size());
    m_ui->detailsGB->setEnabled(row >= 0);
    // Nothing to ask while the entered address is not one.
    const QString address = testAddress();
    m_ui->testServerBtn->setEnabled(!m_tester->isRunning() && ServerAddress::isValid(address));
}

void ServerListEditor::showSelected()
{
    if (m_loading) {
        return;
    }
    m_loading = true;
    const int row = selectedRow();
    const ServerEntry entry = row >= 0 ? m_entries.at(row) : ServerEntry();
    m_ui->addressEdit->setText(entry.host);
    markField(m_ui->addressEdit, false);
    m_ui->addressHintLabel->hide();
    int kind = -1;
    for (int i = 0; i < m_options.directives.size(); ++i) {
        if (m_options.directives.at(i).compare(entry.directive, Qt::CaseInsensitive) == 0) {
            kind = i;
        }
    }
    m_ui->kindCombo->setCurrentIndex(kind);
    m_ui->iburstChB->setChecked(entry.iburst);
    m_ui->preferChB->setChecked(entry.prefer);
    m_ui->ntsChB->setChecked(entry.nts);
    m_ui->trustedChB->setChecked(entry.trusted);
    auto showValue = [](QSpinBox *spin, int value) {
        spin->setValue(value == NoValue ? spin->minimum() : value);
    };
    showValue(m_ui->minpollSpin, entry.minpoll);
    showValue(m_ui->maxpollSpin, entry.maxpoll);
    showValue(m_ui->weightSpin, entry.weight);
    updateButtons();
    m_loading = false;
}

void ServerListEditor::newServerEdited(const QString &text)
{
    const QString host = text.trimmed();
    bool duplicate = false;
    for (const ServerEntry &entry : std::as_const(m_entries)) {
        duplicate = duplicate || entry.host.compare(host, Qt::CaseInsensitive) == 0;
    }
    const bool valid = ServerAddress::isValid(host);
    m_ui->addServerBtn->setEnabled(valid && !duplicate);
    QString why;
    if (!host.isEmpty() && !valid) {
        why = invalidAddressText();
    } else if (duplicate) {
        why = ki18nd("kcm_zel_admin_time", "This server is in the list already.").toString();
    }
    markField(m_ui->newServerEdit, !why.isEmpty(), why);
    m_ui->hintLabel->setText(why);
    m_ui->hintLabel->setVisible(!why.isEmpty());
    updateButtons();
}

QString ServerListEditor::testAddress() const
{
    const QString entered = m_ui->newServerEdit->text().trimmed();
    const int row = selectedRow();
    return !entered.isEmpty() ? entered : row >= 0 ? m_entries.at(row).host : QString();
}

void ServerListEditor::testServer()
{
    const QString address = testAddress();
    // An NTS check needs the entry's nts option: only a listed server has one.
    const int row = selectedRow();
    const bool nts = m_ui->newServerEdit->text().trimmed().isEmpty() && row >= 0 && m_options.nts && m_entries.at(row).nts;
    m_ui->testResultLabel->setText(ki18nd("kcm_zel_admin_time", "Asking %1…").subs(address).toString());
    m_ui->testResultLabel->show();
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
    m_ui->testResultLabel->setText(text);
    m_ui->testResultLabel->setProperty("reachable", check.reachable);
    updateButtons();
}

void ServerListEditor::addServer()
{
    const QString host = m_ui->newServerEdit->text().trimmed();
    if (!m_ui->addServerBtn->isEnabled() || !ServerAddress::isValid(host)) {
        return;
    }
    ServerEntry entry;
    entry.directive = m_options.directives.value(0);
    entry.host = host;
    // What a new source usually wants: a quick first answer.
    entry.iburst = m_options.iburst;
    m_entries.append(entry);
    m_ui->serversList->addItem(QString());
    updateItem(m_entries.size() - 1);
    m_ui->newServerEdit->clear();
    m_ui->serversList->setCurrentRow(m_entries.size() - 1);
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
    delete m_ui->serversList->takeItem(row);
    m_ui->serversList->setCurrentRow(qMin(row, m_entries.size() - 1));
    m_loading = false;
    showSelected();
    newServerEdited(m_ui->newServerEdit->text());
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
    m_ui->serversList->setCurrentRow(to);
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
        markField(m_ui->addressEdit, true, invalidAddressText());
        m_ui->addressHintLabel->setText(invalidAddressText());
        m_ui->addressHintLabel->show();
        return;
    }
    markField(m_ui->addressEdit, false);
    m_ui->addressHintLabel->hide();
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
    const QString kind = m_ui->kindCombo->currentText();
    if (!kind.isEmpty() && kind.compare(entry.directive, Qt::CaseInsensitive) != 0) {
        entry.directive = kind;
    }
    entry.iburst = m_ui->iburstChB->isChecked();
    entry.prefer = m_ui->preferChB->isChecked();
    entry.nts = m_ui->ntsChB->isChecked();
    entry.trusted = m_ui->trustedChB->isChecked();
    // A spin box shows a value it cannot hold as its nearest one; only a
    // real change of it replaces what the file says.
    auto takeValue = [](QSpinBox *spin, int &value) {
        const int shown = value == NoValue ? spin->minimum() : qBound(spin->minimum(), value, spin->maximum());
        if (spin->value() != shown) {
            value = spin->value() == spin->minimum() ? NoValue : spin->value();
        }
    };
    takeValue(m_ui->minpollSpin, entry.minpoll);
    takeValue(m_ui->maxpollSpin, entry.maxpoll);
    takeValue(m_ui->weightSpin, entry.weight);

    // chrony and ntpd refuse a minimum poll above the maximum.
    const bool pollsCrossed = entry.minpoll != NoValue && entry.maxpoll != NoValue && entry.minpoll > entry.maxpoll;
    const QString crossed = ki18nd("kcm_zel_admin_time", "The minimum poll interval must not be above the maximum one.").toString();
    markField(m_ui->minpollSpin, pollsCrossed, crossed);
    markField(m_ui->maxpollSpin, pollsCrossed, crossed);
    if (pollsCrossed) {
        entry.minpoll = before.minpoll;
        entry.maxpoll = before.maxpoll;
        m_ui->pollHintLabel->setText(crossed);
        m_ui->pollHintLabel->show();
        return;
    }
    m_ui->pollHintLabel->hide();
    if (!entry.sameSettings(before)) {
        updateItem(row);
        Q_EMIT edited();
    }
}
