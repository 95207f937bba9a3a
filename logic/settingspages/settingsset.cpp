// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/settingsset.h"

#include "settingspages/servicesettings.h"
#include "zeladmintime_debug.h"

#include <QApplication>

SettingsSet::SettingsSet(const SystemAccess &system, ServiceSettings::Writer writer)
    : m_system(system)
    , m_writer(std::move(writer))
{
}

SettingsSet::~SettingsSet() = default;

void SettingsSet::reload(const QList<PackageIndex> &installed)
{
    for (auto it = m_settings.begin(); it != m_settings.end();) {
        it = installed.contains(it->first) ? std::next(it) : m_settings.erase(it);
    }
    for (PackageIndex service : installed) {
        auto &settings = m_settings[service];
        if (!settings) {
            settings = std::make_unique<ServiceSettings>(service, m_system, m_writer);
            settings->setWindow(m_window);
            connect(settings.get(), &ServiceSettings::changed, this, &SettingsSet::changed);
            continue; // just read
        }
        FileError error;
        if (!settings->reload(&error)) {
            qCWarning(ZELADMINTIME_LOG).noquote() << error.toString();
        }
    }
}

ServiceSettings *SettingsSet::settings(PackageIndex service) const
{
    const auto it = m_settings.find(service);
    return it == m_settings.end() ? nullptr : it->second.get();
}

QList<QWidget *> SettingsSet::pages(const QList<PackageIndex> &services) const
{
    QList<QWidget *> pages;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        return pages;
    }
    for (PackageIndex service : services) {
        ServiceSettings *settings = this->settings(service);
        pages.append(settings ? settings->page() : nullptr);
    }
    return pages;
}

bool SettingsSet::isDialogOpen() const
{
    for (const auto &entry : m_settings) {
        if (entry.second->isDialogOpen()) {
            return true;
        }
    }
    return false;
}

bool SettingsSet::isModified() const
{
    for (const auto &entry : m_settings) {
        if (entry.second->isModified()) {
            return true;
        }
    }
    return false;
}

bool SettingsSet::writeModified(const QList<PackageIndex> &services, QList<PackageIndex> *written, PackageIndex *failed, FileError *failure)
{
    for (PackageIndex service : services) {
        ServiceSettings *settings = this->settings(service);
        if (!settings || !settings->isModified()) {
            continue;
        }
        FileError error;
        QPointer<SettingsSet> self(this);
        const bool done = settings->write(&error);
        if (!self) {
            return false; // deleted while the helper was asked
        }
        if (!done) {
            if (failed) {
                *failed = service;
            }
            if (failure) {
                *failure = error;
            }
            return false;
        }
        written->append(service);
    }
    return true;
}

QStringList SettingsSet::configuredServers(const QList<PackageIndex> &services) const
{
    QStringList servers;
    for (PackageIndex service : services) {
        if (const ServiceSettings *settings = this->settings(service)) {
            for (const QString &name : settings->configuredServers()) {
                if (!servers.contains(name, Qt::CaseInsensitive)) {
                    servers.append(name);
                }
            }
        }
    }
    return servers;
}

void SettingsSet::setWindow(QWidget *window)
{
    m_window = window;
    for (const auto &entry : m_settings) {
        entry.second->setWindow(window);
    }
}
