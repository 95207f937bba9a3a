// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/directiveconfig.h"

#include <QWidget>

#include <memory>

class ServerTester;
struct ServerCheck;

namespace Ui
{
class ServerListEditor;
}

// An ordered list of time servers: add, remove, reorder, and edit the
// selected one's address and options. Only valid addresses get in; what the
// user types wrong is marked and not taken.
class ServerListEditor : public QWidget
{
    Q_OBJECT

public:
    explicit ServerListEditor(QWidget *parent = nullptr);
    ~ServerListEditor() override;

    // Which options the format has; with no directives the list holds bare
    // addresses (timesyncd).
    void setOptions(const ServerOptions &options);
    // Shows these entries; emits nothing.
    void setEntries(const QVector<Config::ServerEntry> &entries);
    QVector<Config::ServerEntry> entries() const;
    QStringList hosts() const;
    // The address the Test action asks: the one being entered, else the
    // selected one.
    QString testAddress() const;

Q_SIGNALS:
    // The user changed the list or an entry.
    void edited();

private:
    void addServer();
    void removeServer();
    void moveServer(int step);
    void showSelected();
    void updateButtons();
    void updateItem(int row);
    void addressEdited(const QString &text);
    void newServerEdited(const QString &text);
    void entryChanged();
    int selectedRow() const;
    void testServer();
    void tested(const ServerCheck &check);

    std::unique_ptr<Ui::ServerListEditor> m_ui;
    ServerOptions m_options;
    QVector<Config::ServerEntry> m_entries;
    bool m_loading = false;
    ServerTester *m_tester;
};
