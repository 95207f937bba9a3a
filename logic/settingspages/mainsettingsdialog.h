// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/configtypes.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui
{
class MainSettingsDialog;
}

// The rules a directive of the settings dialog must keep so that the file
// stays readable by its service and the helper writes it.
struct DirectiveRules {
    std::function<bool(const QString &key)> validKey;
    // Keywords the settings page handles: not offered here.
    std::function<bool(const QString &key)> managedKey;
    // Keywords that may be added or changed here; the others of the file
    // may only stay as they are or go.
    std::function<bool(const QString &key)> editableKey;
    std::function<bool(const QString &key, const QString &value)> validValue;
};

// The directives of a service's configuration that its settings page does
// not show, as a table of keyword and value. OK is offered only while every
// row added or changed is valid.
class MainSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    MainSettingsDialog(const QString &serviceName, const DirectiveRules &rules, QWidget *parent = nullptr);
    ~MainSettingsDialog() override;

    void setDirectives(const QVector<Config::DirectiveEntry> &directives);
    QVector<Config::DirectiveEntry> directives() const;

private:
    void addRow(const Config::DirectiveEntry &entry);
    void validate();

    std::unique_ptr<Ui::MainSettingsDialog> m_ui;
    DirectiveRules m_rules;
};
