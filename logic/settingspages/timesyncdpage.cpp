// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/timesyncdpage.h"

#include "settingspages/fieldmarks.h"

#include <KLocalizedString>

#include "sources/sourcesview.h"
#include "ui_timesyncdpage.h"
#include <QDBusConnection>

using Config::DurationValue;

namespace
{
// A value the spin box can show as it is.
bool fits(const QSpinBox *spin, const DurationValue &value)
{
    return value.present && value.understood && value.seconds > spin->minimum() && value.seconds <= spin->maximum();
}

// The interval a value means, or -1 when it cannot be told.
qint64 effectiveSeconds(const DurationValue &value, int defaultSeconds)
{
    if (!value.present) {
        return defaultSeconds;
    }
    return value.understood ? value.seconds : -1;
}
}

TimesyncdPage::TimesyncdPage(const QDBusConnection &bus, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TimesyncdPage>())
{
    m_ui->setupUi(this);
    m_ui->timingHintLabel->hide();
    m_ui->sourcesView->setService(TimesyncdPackage, bus);
    const QString seconds = ki18nd("kcm_zel_admin_time", " s").toString();
    // The lowest value of each stands for "not set in the file".
    m_ui->rootDistanceSpin->setRange(0, 3600);
    m_ui->pollMinSpin->setRange(15, 131072);
    m_ui->pollMaxSpin->setRange(15, 131072);
    for (QSpinBox *spin : {m_ui->rootDistanceSpin, m_ui->pollMinSpin, m_ui->pollMaxSpin}) {
        spin->setSuffix(seconds);
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), this, &TimesyncdPage::timingEdited);
    }
    connect(m_ui->ntpServersEditor, &ServerListEditor::edited, this, [this] {
        m_current.ntp = m_ui->ntpServersEditor->hosts();
        Q_EMIT edited();
    });
    connect(m_ui->fallbackServersEditor, &ServerListEditor::edited, this, [this] {
        m_current.fallbackNtp = m_ui->fallbackServersEditor->hosts();
        Q_EMIT edited();
    });
}

TimesyncdPage::~TimesyncdPage() = default;

static QVector<Config::ServerEntry> bareEntries(const QStringList &hosts)
{
    QVector<Config::ServerEntry> entries;
    for (const QString &host : hosts) {
        Config::ServerEntry entry;
        entry.host = host;
        entries.append(entry);
    }
    return entries;
}

void TimesyncdPage::showDuration(QSpinBox *spin, const DurationValue &value, int defaultSeconds)
{
    const QSignalBlocker blocker(spin);
    if (fits(spin, value)) {
        spin->setSpecialValueText(ki18nd("kcm_zel_admin_time", "Default (%1 s)").subs(defaultSeconds).toString());
        spin->setValue(int(value.seconds));
    } else if (value.present) {
        // Kept as written while the user leaves it alone.
        spin->setSpecialValueText(ki18nd("kcm_zel_admin_time", "As written: %1").subs(value.raw).toString());
        spin->setValue(spin->minimum());
    } else {
        spin->setSpecialValueText(ki18nd("kcm_zel_admin_time", "Default (%1 s)").subs(defaultSeconds).toString());
        spin->setValue(spin->minimum());
    }
    markField(spin, false);
}

DurationValue TimesyncdPage::durationOf(const QSpinBox *spin, const DurationValue &loaded) const
{
    if (spin->value() == spin->minimum()) {
        return loaded.present && !fits(spin, loaded) ? loaded : DurationValue();
    }
    if (loaded.understood && loaded.seconds == spin->value()) {
        return loaded; // "2min 8s" stays "2min 8s"
    }
    return DurationValue::fromSeconds(spin->value());
}

void TimesyncdPage::setSettings(const TimesyncdSettings &settings)
{
    m_loaded = settings;
    m_current = settings;
    m_ui->ntpServersEditor->setEntries(bareEntries(settings.ntp));
    m_ui->fallbackServersEditor->setEntries(bareEntries(settings.fallbackNtp));
    showDuration(m_ui->rootDistanceSpin, settings.rootDistanceMaxSec, defaultRootDistance);
    showDuration(m_ui->pollMinSpin, settings.pollIntervalMinSec, defaultPollMin);
    showDuration(m_ui->pollMaxSpin, settings.pollIntervalMaxSec, defaultPollMax);
    m_ui->timingHintLabel->hide();
}

TimesyncdSettings TimesyncdPage::settings() const
{
    return m_current;
}

void TimesyncdPage::setOthers(const QVector<Config::DirectiveEntry> &others)
{
    m_current.others = others;
}

void TimesyncdPage::timingEdited()
{
    const DurationValue rootDistance = durationOf(m_ui->rootDistanceSpin, m_loaded.rootDistanceMaxSec);
    const DurationValue pollMin = durationOf(m_ui->pollMinSpin, m_loaded.pollIntervalMinSec);
    const DurationValue pollMax = durationOf(m_ui->pollMaxSpin, m_loaded.pollIntervalMaxSec);

    const qint64 low = effectiveSeconds(pollMin, defaultPollMin);
    const qint64 high = effectiveSeconds(pollMax, defaultPollMax);
    const bool crossed = low >= 0 && high >= 0 && low > high;
    const QString why = ki18nd("kcm_zel_admin_time", "The minimum poll interval must not be above the maximum one.").toString();
    markField(m_ui->pollMinSpin, crossed, why);
    markField(m_ui->pollMaxSpin, crossed, why);
    m_ui->timingHintLabel->setText(why);
    m_ui->timingHintLabel->setVisible(crossed);
    if (crossed) {
        return;
    }
    if (rootDistance == m_current.rootDistanceMaxSec && pollMin == m_current.pollIntervalMinSec && pollMax == m_current.pollIntervalMaxSec) {
        return;
    }
    m_current.rootDistanceMaxSec = rootDistance;
    m_current.pollIntervalMinSec = pollMin;
    m_current.pollIntervalMaxSec = pollMax;
    Q_EMIT edited();
}
