// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/directiveconfig.h"

#include <QWidget>

class QDBusConnection;

#include <memory>

namespace Ui
{
class DirectivePage;
}

// Settings page of chrony, ntpsec or openntpd: the servers and pools with
// their options, and for chrony how the clock is stepped and whether the
// hardware clock follows.
class DirectivePage : public QWidget
{
    Q_OBJECT

public:
    DirectivePage(DirectiveFormat format, const QDBusConnection &bus, QWidget *parent = nullptr);
    ~DirectivePage() override;

    // Shows the settings as read; emits nothing.
    void setSettings(const DirectiveSettings &settings);
    // What the user accepted so far.
    DirectiveSettings settings() const;
    // The directives the settings dialog edits; emits nothing.
    void setOthers(const QVector<Config::DirectiveEntry> &others);

Q_SIGNALS:
    void edited();

private:
    void clockEdited();
    void updateClockWidgets();

    std::unique_ptr<Ui::DirectivePage> m_ui;
    DirectiveFormat m_format;
    DirectiveSettings m_current;
    bool m_loading = false;
};
