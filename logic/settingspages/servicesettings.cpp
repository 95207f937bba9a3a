// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/servicesettings.h"

#include "authhelper/authwriter.h"
#include "catalog/servicecatalog.h"
#include "common/serveraddress.h"
#include "common/sysroot.h"
#include "config/configformat.h"
#include "settingspages/directivepage.h"
#include "settingspages/mainsettingsdialog.h"
#include "settingspages/timesyncdpage.h"

#include <KLocalizedString>

#include <QScrollArea>

#include <unistd.h>

ServiceSettings::Writer ServiceSettings::machineWriter(const QString &root)
{
    return [root](const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, QString *error) {
        // Root writes its own files; everyone else asks the helper, which
        // writes under the same system root as this process reads.
        if (::geteuid() == 0) {
            return SafeFile::write(SysRoot::path(root, systemPath), content, expectedHash, error);
        }
        return AuthWriter::write(root, systemPath, content, expectedHash, window, error);
    };
}

ServiceSettings::ServiceSettings(PackageIndex service, const SystemAccess &system, Writer writer, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_system(system)
    , m_writer(writer ? std::move(writer) : machineWriter(system.root))
{
    switch (service) {
    case NtpsecPackage:
        m_format = DirectiveFormat::Ntpsec;
        break;
    case OpenntpdPackage:
        m_format = DirectiveFormat::Openntpd;
        break;
    default:
        m_format = DirectiveFormat::Chrony;
        break;
    }
    reload();
}

ServiceSettings::~ServiceSettings()
{
    // The scroll area owns the page inside it.
    delete m_scrollArea.data();
    delete m_timesyncdPage.data();
    delete m_directivePage.data();
}

QString ServiceSettings::serviceName() const
{
    return ServiceCatalog::byIndex(m_service).serviceName;
}

QString ServiceSettings::configPath() const
{
    return ServiceCatalog::byIndex(m_service).configPath;
}

void ServiceSettings::adopt(const QByteArray &bytes, bool exists)
{
    m_snapshot.exists = exists;
    m_snapshot.content = bytes;
    if (m_service == TimesyncdPackage) {
        m_timesyncdConfig = TimesyncdConfig::parse(bytes);
        m_timesyncd = m_timesyncdConfig.settings();
        if (m_timesyncdPage) {
            m_timesyncdPage->setSettings(m_timesyncd);
        }
    } else {
        m_directiveConfig = DirectiveConfig::parse(m_format, bytes);
        m_directive = m_directiveConfig.settings();
        if (m_directivePage) {
            m_directivePage->setSettings(m_directive);
        }
    }
}

bool ServiceSettings::reload(QString *error)
{
    SafeFile::Snapshot snapshot;
    QString why;
    m_readable = SafeFile::read(SysRoot::path(m_system.root, configPath()), &snapshot, &why);
    adopt(snapshot.content, snapshot.exists);
    if (QWidget *shown = m_timesyncdPage ? static_cast<QWidget *>(m_timesyncdPage) : m_directivePage) {
        shown->setEnabled(m_readable);
    }
    if (!m_readable && error) {
        *error = why;
    }
    return m_readable;
}

void ServiceSettings::createPage()
{
    QWidget *form = nullptr;
    if (m_service == TimesyncdPackage) {
        m_timesyncdPage = new TimesyncdPage(m_system.bus);
        m_timesyncdPage->setSettings(m_timesyncd);
        connect(m_timesyncdPage.data(), &TimesyncdPage::edited, this, &ServiceSettings::pageEdited);
        form = m_timesyncdPage;
    } else {
        m_directivePage = new DirectivePage(m_format, m_system.bus);
        m_directivePage->setSettings(m_directive);
        connect(m_directivePage.data(), &DirectivePage::edited, this, &ServiceSettings::pageEdited);
        form = m_directivePage;
    }
    const QString prefix = m_service == TimesyncdPackage ? QStringLiteral("timesyncd") : serviceName();
    form->setObjectName(prefix + QStringLiteral("SettingsForm"));
    // The forms are taller than a laptop screen; scroll rather than grow the
    // window past the screen.
    m_scrollArea = new QScrollArea;
    m_scrollArea->setObjectName(prefix + QStringLiteral("SettingsPage"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    // The forms wrap and shrink to the pane's width; only a font too large
    // for any of that still gets a bar rather than cut-off controls.
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->setAccessibleName(ki18nd("kcm_zel_admin_time", "Settings of %1").subs(serviceName()).toString());
    m_scrollArea->setWidget(form);
}

QWidget *ServiceSettings::page()
{
    if (!m_scrollArea) {
        createPage();
    }
    m_scrollArea->widget()->setEnabled(m_readable);
    return m_scrollArea;
}

void ServiceSettings::pageEdited()
{
    if (m_timesyncdPage) {
        m_timesyncd = m_timesyncdPage->settings();
    } else if (m_directivePage) {
        m_directive = m_directivePage->settings();
    }
    Q_EMIT changed();
}

bool ServiceSettings::hasMainSettings() const
{
    return m_readable;
}

void ServiceSettings::openMainSettingsDialog(QWidget *parent)
{
    if (m_dialogOpen || !m_readable) {
        return;
    }
    DirectiveRules rules;
    QVector<Config::DirectiveEntry> others;
    if (m_service == TimesyncdPackage) {
        rules = {&TimesyncdConfig::isValidKey, &TimesyncdConfig::isManagedKey, &TimesyncdConfig::isValidValue};
        others = m_timesyncd.others;
    } else {
        const DirectiveFormat format = m_format;
        rules = {&DirectiveConfig::isValidKey,
                 [format](const QString &key) {
                     return DirectiveConfig::isManagedKey(format, key);
                 },
                 [format](const QString &value) {
                     return DirectiveConfig::isValidValue(format, value);
                 }};
        others = m_directive.others;
    }

    QPointer<MainSettingsDialog> dialog = new MainSettingsDialog(serviceName(), rules, parent);
    dialog->setObjectName(QStringLiteral("mainSettingsDialog"));
    dialog->setDirectives(others);
    QPointer<ServiceSettings> self(this);
    m_dialogOpen = true;
    const int result = dialog->exec();
    // The dialog's loop may have outlived this object or the dialog's parent.
    if (!self) {
        delete dialog.data();
        return;
    }
    m_dialogOpen = false;
    if (!dialog) {
        return;
    }
    const QVector<Config::DirectiveEntry> edited = dialog->directives();
    delete dialog.data();
    if (result != QDialog::Accepted || edited == others) {
        return;
    }
    if (m_service == TimesyncdPackage) {
        m_timesyncd.others = edited;
        if (m_timesyncdPage) {
            m_timesyncdPage->setOthers(edited);
        }
    } else {
        m_directive.others = edited;
        if (m_directivePage) {
            m_directivePage->setOthers(edited);
        }
    }
    Q_EMIT changed();
}

QByteArray ServiceSettings::content() const
{
    if (m_service == TimesyncdPackage) {
        return m_timesyncdConfig.render(m_timesyncd);
    }
    return m_directiveConfig.render(m_directive);
}

bool ServiceSettings::isModified() const
{
    return m_readable && content() != m_snapshot.content;
}

bool ServiceSettings::write(QString *error)
{
    if (!m_readable) {
        *error = QStringLiteral("Not writing %1: it could not be read").arg(configPath());
        return false;
    }
    const QByteArray bytes = content();
    if (bytes == m_snapshot.content) {
        return true;
    }
    const QStringList problems = ConfigFormat::problems(m_service, bytes);
    if (!problems.isEmpty()) {
        *error = QStringLiteral("Not writing %1: %2").arg(configPath(), problems.join(QStringLiteral("; ")));
        return false;
    }
    // The helper's wait runs a nested event loop that may delete us.
    QPointer<ServiceSettings> self(this);
    if (!m_writer(configPath(), bytes, m_snapshot.hash(), m_window, error) || !self) {
        return false;
    }
    adopt(bytes, true);
    return true;
}

QStringList ServiceSettings::configuredServers() const
{
    const QStringList names = m_service == TimesyncdPackage ? TimesyncdConfig::serverNames(m_timesyncd) : DirectiveConfig::serverNames(m_directive);
    QStringList servers;
    for (const QString &name : names) {
        if (ServerAddress::isValid(name) && !servers.contains(name)) {
            servers.append(name);
        }
    }
    return servers;
}

void ServiceSettings::setWindow(QWidget *window)
{
    m_window = window;
}
