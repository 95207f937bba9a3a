// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "logictypes.h"
#include "settingspages/servicesettings.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <map>
#include <memory>

// The configuration of every installed service, as the controller needs it:
// one ServiceSettings each, kept across reloads so that the pages the window
// holds stay valid.
class SettingsSet : public QObject
{
    Q_OBJECT

public:
    // Files are read and written under `system`'s root, through `writer`
    // (see ServiceSettings); the pages read their sources on its bus.
    explicit SettingsSet(const SystemAccess &system, ServiceSettings::Writer writer = {});
    ~SettingsSet() override;

    // Keeps the services given (dropping the others) and re-reads their
    // files; pending edits are dropped.
    void reload(const QList<PackageIndex> &installed);
    // Null for a service that is not installed.
    ServiceSettings *settings(PackageIndex service) const;

    // The settings page of each service, in the order given. Empty without
    // a QApplication: widgets cannot exist then.
    QList<QWidget *> pages(const QList<PackageIndex> &services) const;
    bool isDialogOpen() const;
    bool isModified() const;

    // Writes the modified files in the order given and stops at the first
    // failure, leaving it and the rest pending. `written` gets the services
    // whose file was written; on a failure `failed` the service and `error`
    // what went wrong (its page shows that too).
    bool writeModified(const QList<PackageIndex> &services, QList<PackageIndex> *written, PackageIndex *failed = nullptr, FileError *error = nullptr);

    // The valid server names of the services' configurations (as edited),
    // in the order given, each once.
    QStringList configuredServers(const QList<PackageIndex> &services) const;

    // Parent of the settings dialog and of the authentication dialog.
    void setWindow(QWidget *window);
    QWidget *window() const
    {
        return m_window;
    }

Q_SIGNALS:
    // A page or dialog edit of any service.
    void changed();

private:
    const SystemAccess m_system;
    const ServiceSettings::Writer m_writer;
    std::map<PackageIndex, std::unique_ptr<ServiceSettings>> m_settings;
    QPointer<QWidget> m_window;
};
