// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/directivepage.h"

#include <KLocalizedString>

#include <cmath>

#include "common/systemaccess.h"
#include "sources/sourcesview.h"
#include "ui_directivepage.h"

DirectivePage::DirectivePage(DirectiveFormat format, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::DirectivePage>())
    , m_format(format)
{
    ui->setupUi(this);
    ui->serversEditor->setOptions(DirectiveConfig::serverOptions(format));
    ui->clockGB->setVisible(format == DirectiveFormat::Chrony);
    ui->sourcesView->setService(format == DirectiveFormat::Ntpsec ? NtpsecPackage : format == DirectiveFormat::Openntpd ? OpenntpdPackage : ChronyPackage,
                                SystemAccess::machine().bus);

    ui->makestepThresholdSpin->setDecimals(3);
    ui->makestepThresholdSpin->setRange(0.001, 1e6);
    ui->makestepThresholdSpin->setSuffix(ki18nd("kcm_zel_admin_time", " s").toString());
    // -1: chrony steps whenever the offset is too large.
    ui->makestepLimitSpin->setRange(-1, 1000000);
    ui->makestepLimitSpin->setSpecialValueText(ki18nd("kcm_zel_admin_time", "All").toString());

    connect(ui->serversEditor, &ServerListEditor::edited, this, [this] {
        m_current.servers = ui->serversEditor->entries();
        Q_EMIT edited();
    });
    connect(ui->makestepChB, &QCheckBox::toggled, this, &DirectivePage::clockEdited);
    connect(ui->rtcsyncChB, &QCheckBox::toggled, this, &DirectivePage::clockEdited);
    connect(ui->makestepThresholdSpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &DirectivePage::clockEdited);
    connect(ui->makestepLimitSpin, qOverload<int>(&QSpinBox::valueChanged), this, &DirectivePage::clockEdited);
}

DirectivePage::~DirectivePage() = default;

void DirectivePage::setSettings(const DirectiveSettings &settings)
{
    m_loading = true;
    m_current = settings;
    ui->serversEditor->setEntries(settings.servers);
    ui->makestepChB->setChecked(settings.makestep);
    ui->makestepThresholdSpin->setValue(settings.makestepThreshold);
    ui->makestepLimitSpin->setValue(settings.makestepLimit);
    ui->rtcsyncChB->setChecked(settings.rtcsync);
    updateClockWidgets();
    m_loading = false;
}

DirectiveSettings DirectivePage::settings() const
{
    return m_current;
}

void DirectivePage::setOthers(const QVector<Config::DirectiveEntry> &others)
{
    m_current.others = others;
}

void DirectivePage::updateClockWidgets()
{
    const bool makestep = ui->makestepChB->isChecked();
    ui->makestepThresholdSpin->setEnabled(makestep);
    ui->makestepLimitSpin->setEnabled(makestep);
    ui->makestepThresholdLabel->setEnabled(makestep);
    ui->makestepLimitLabel->setEnabled(makestep);
}

void DirectivePage::clockEdited()
{
    updateClockWidgets();
    if (m_loading) {
        return;
    }
    const DirectiveSettings before = m_current;
    m_current.makestep = ui->makestepChB->isChecked();
    m_current.rtcsync = ui->rtcsyncChB->isChecked();
    // Values the spin boxes round (a threshold with more decimals) stay as
    // read until the user changes them.
    const QDoubleSpinBox *threshold = ui->makestepThresholdSpin;
    const double shownThreshold = qBound(threshold->minimum(), std::round(before.makestepThreshold * 1000) / 1000, threshold->maximum());
    if (std::abs(threshold->value() - shownThreshold) > 1e-9) {
        m_current.makestepThreshold = ui->makestepThresholdSpin->value();
    }
    if (ui->makestepLimitSpin->value() != qBound(-1, before.makestepLimit, 1000000)) {
        m_current.makestepLimit = ui->makestepLimitSpin->value();
    }
    if (m_current.makestep != before.makestep || m_current.rtcsync != before.rtcsync || m_current.makestepThreshold != before.makestepThreshold
        || m_current.makestepLimit != before.makestepLimit) {
        Q_EMIT edited();
    }
}
