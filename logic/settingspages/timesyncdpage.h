// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/timesyncdconfig.h"

#include <QWidget>

#include <memory>

class QDBusConnection;
class QSpinBox;

namespace Ui
{
class TimesyncdPage;
}

// Settings page of systemd-timesyncd: its servers, fallback servers, root
// distance and poll interval bounds.
class TimesyncdPage : public QWidget
{
    Q_OBJECT

public:
    explicit TimesyncdPage(const QDBusConnection &bus, QWidget *parent = nullptr);
    ~TimesyncdPage() override;

    // Shows the settings as read; emits nothing.
    void setSettings(const TimesyncdSettings &settings);
    // What the user accepted so far.
    TimesyncdSettings settings() const;
    // The directives the settings dialog edits; emits nothing.
    void setOthers(const QVector<Config::DirectiveEntry> &others);

    // systemd's built-in values.
    static constexpr int defaultRootDistance = 5;
    static constexpr int defaultPollMin = 32;
    static constexpr int defaultPollMax = 2048;

Q_SIGNALS:
    void edited();

private:
    void showDuration(QSpinBox *spin, const Config::DurationValue &value, int defaultSeconds);
    Config::DurationValue durationOf(const QSpinBox *spin, const Config::DurationValue &loaded) const;
    void timingEdited();

    std::unique_ptr<Ui::TimesyncdPage> m_ui;
    TimesyncdSettings m_loaded;
    TimesyncdSettings m_current;
};
