// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/directivepage.h"

#include <KLocalizedString>

#include <cmath>

#include "sources/sourcesview.h"
#include "ui_directivepage.h"
#include <QDBusConnection>

DirectivePage::DirectivePage(DirectiveFormat format, const QDBusConnection &bus, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::DirectivePage>())
    , m_format(format)
{
    m_ui->setupUi(this);
    m_ui->serversEditor->setOptions(DirectiveConfig::serverOptions(format));
    m_ui->clockGB->setVisible(format == DirectiveFormat::Chrony);
    m_ui->sourcesView->setService(format == DirectiveFormat::Ntpsec         ? NtpsecPackage
                                      : format == DirectiveFormat::Openntpd ? OpenntpdPackage
                                                                            : ChronyPackage,
                                  bus);

    m_ui->makestepThresholdSpin->setDecimals(3);
    m_ui->makestepThresholdSpin->setRange(0.001, 1e6);
    m_ui->makestepThresholdSpin->setSuffix(ki18nd("kcm_zel_admin_time", " s").toString());
    // -1: chrony steps whenever the offset is too large.
    m_ui->makestepLimitSpin->setRange(-1, 1000000);
    m_ui->makestepLimitSpin->setSpecialValueText(ki18nd("kcm_zel_admin_time", "All").toString());

    connect(m_ui->serversEditor, &ServerListEditor::edited, this, [this] {
        m_current.servers = m_ui->serversEditor->entries();
        Q_EMIT edited();
    });
    connect(m_ui->makestepChB, &QCheckBox::toggled, this, &DirectivePage::clockEdited);
    connect(m_ui->rtcsyncChB, &QCheckBox::toggled, this, &DirectivePage::clockEdited);
    connect(m_ui->makestepThresholdSpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &DirectivePage::clockEdited);
    connect(m_ui->makestepLimitSpin, qOverload<int>(&QSpinBox::valueChanged), this, &DirectivePage::clockEdited);
}

DirectivePage::~DirectivePage() = default;

void DirectivePage::setSettings(const DirectiveSettings &settings)
{
    m_loading = true;
    m_current = settings;
    m_ui->serversEditor->setEntries(settings.servers);
    m_ui->makestepChB->setChecked(settings.makestep);
    m_ui->makestepThresholdSpin->setValue(settings.makestepThreshold);
    m_ui->makestepLimitSpin->setValue(settings.makestepLimit);
    m_ui->rtcsyncChB->setChecked(settings.rtcsync);
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
    const bool makestep = m_ui->makestepChB->isChecked();
    m_ui->makestepThresholdSpin->setEnabled(makestep);
    m_ui->makestepLimitSpin->setEnabled(makestep);
    m_ui->makestepThresholdLabel->setEnabled(makestep);
    m_ui->makestepLimitLabel->setEnabled(makestep);
}

void DirectivePage::clockEdited()
{
    updateClockWidgets();
    if (m_loading) {
        return;
    }
    const DirectiveSettings before = m_current;
    m_current.makestep = m_ui->makestepChB->isChecked();
    m_current.rtcsync = m_ui->rtcsyncChB->isChecked();
    // Values the spin boxes round (a threshold with more decimals) stay as
    // read until the user changes them.
    const QDoubleSpinBox *threshold = m_ui->makestepThresholdSpin;
    const double shownThreshold = qBound(threshold->minimum(), std::round(before.makestepThreshold * 1000) / 1000, threshold->maximum());
    if (std::abs(threshold->value() - shownThreshold) > 1e-9) {
        m_current.makestepThreshold = m_ui->makestepThresholdSpin->value();
    }
    if (m_ui->makestepLimitSpin->value() != qBound(-1, before.makestepLimit, 1000000)) {
        m_current.makestepLimit = m_ui->makestepLimitSpin->value();
    }
    if (m_current.makestep != before.makestep || m_current.rtcsync != before.rtcsync || m_current.makestepThreshold != before.makestepThreshold
        || m_current.makestepLimit != before.makestepLimit) {
        Q_EMIT edited();
    }
}
