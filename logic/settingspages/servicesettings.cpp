// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/servicesettings.h"

#include "authhelper/authwriter.h"
#include "catalog/servicecatalog.h"
#include "common/serveraddress.h"
#include "config/configformat.h"
#include "settingspages/directivepage.h"
#include "settingspages/mainsettingsdialog.h"
#include "settingspages/scrollpane.h"
#include "settingspages/timesyncdpage.h"
#include "settingspages/wheelguard.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>
#include <KMessageWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <unistd.h>

// Why a file could not be saved, in words the user can act on.
static QString explanation(const FileError &error)
{
    switch (error.kind) {
    case FileError::None:
        break;
    case FileError::ReadFailed:
    case FileError::WriteFailed:
        switch (error.code) {
        case EROFS:
            return ki18nd("kcm_zel_admin_time", "The file system is read-only.").toString();
        case ENOSPC:
        case EDQUOT:
            return ki18nd("kcm_zel_admin_time", "The disk is full.").toString();
        case EACCES:
        case EPERM:
            return ki18nd("kcm_zel_admin_time", "Permission to write the file was denied.").toString();
        default:
            return ki18nd("kcm_zel_admin_time", "The system reported: %1").subs(QString::fromLocal8Bit(strerror(error.code))).toString();
        }
    case FileError::NotRegularFile:
        return ki18nd("kcm_zel_admin_time", "It is not a regular file.").toString();
    case FileError::LeavesRoot:
        return ki18nd("kcm_zel_admin_time", "A link on its path leads out of the system's root folder.").toString();
    case FileError::ChangedOnDisk:
        return ki18nd("kcm_zel_admin_time", "The file was changed on disk after it was read. Reload the configuration to see the changes, then edit again.")
            .toString();
    case FileError::NotConfigFile:
        return ki18nd("kcm_zel_admin_time", "It is not the configuration file of a time service.").toString();
    case FileError::TooLarge:
        return ki18nd("kcm_zel_admin_time", "The new file would be larger than %1 bytes.").subs(error.code).toString();
    case FileError::InvalidContent:
        return ki18nd("kcm_zel_admin_time", "The new file would not be valid: %1").subs(error.detail).toString();
    case FileError::RefusedLine:
        return ki18nd("kcm_zel_admin_time", "Only an administrator editing the file directly may add or change the line \"%1\".").subs(error.detail).toString();
    case FileError::LineTooLong:
        return ki18nd("kcm_zel_admin_time", "Line %1 would be longer than the service reads.").subs(error.code).toString();
    case FileError::TooLate:
        return ki18nd("kcm_zel_admin_time", "The request reached the helper too late; nothing was written.").toString();
    case FileError::Malformed:
        return ki18nd("kcm_zel_admin_time", "The helper did not understand the request.").toString();
    case FileError::NotAuthorized:
        return ki18nd("kcm_zel_admin_time", "The administrator's authorization was refused or cancelled.").toString();
    case FileError::HelperBusy:
        return ki18nd("kcm_zel_admin_time", "The helper that saves the settings is busy with another request. Try again in a few minutes.").toString();
    case FileError::HelperNoAnswer:
        return ki18nd("kcm_zel_admin_time", "The helper that saves the settings did not answer.").toString();
    case FileError::HelperFailed:
        return ki18nd("kcm_zel_admin_time", "The helper that saves the settings failed: %1").subs(error.detail).toString();
    }
    return QString();
}

ServiceSettings::Writer ServiceSettings::machineWriter(const QString &root)
{
    return [root](const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, FileError *error) {
        // Root writes its own files; everyone else asks the helper, which
        // writes under the same system root as this process reads.
        if (::geteuid() == 0) {
            return SafeFile::write(root, systemPath, content, expectedHash, error);
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
    // The pane owns the scroll area and the form inside it.
    delete m_pane.data();
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

bool ServiceSettings::reload(FileError *error)
{
    SafeFile::Snapshot snapshot;
    m_readError = FileError();
    m_readable = SafeFile::read(m_system.root, configPath(), &snapshot, &m_readError);
    m_tooLarge = snapshot.tooLarge;
    adopt(snapshot.content, snapshot.exists);
    showFailure(FileError());
    if (m_pane) {
        showReadable();
    }
    if (!m_readable && error) {
        *error = m_readError;
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
    m_pane = new QWidget;
    m_pane->setObjectName(prefix + QStringLiteral("SettingsPage"));
    auto *layout = new QVBoxLayout(m_pane);
    layout->setContentsMargins(0, 0, 0, 0);
    // A failed save is told here, above the settings it is about, as KDE's
    // own modules do.
    m_message = new KMessageWidget(m_pane);
    m_message->setObjectName(QStringLiteral("saveFailureMessage"));
    m_message->setMessageType(KMessageWidget::Error);
    m_message->setWordWrap(true);
    m_message->setCloseButtonVisible(true);
    m_message->setVisible(!m_failure.isEmpty());
    m_message->setText(m_failure);
    layout->addWidget(m_message);
    m_scrollArea = new ScrollPane(m_pane);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    // The forms wrap and shrink to the pane's width; only a font too large
    // for any of that still gets a bar rather than cut-off controls.
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollArea->setAccessibleName(ki18nd("kcm_zel_admin_time", "Settings of %1").subs(serviceName()).toString());
    m_scrollArea->setWidget(form);
    WheelGuard::install(form);
    layout->addWidget(m_scrollArea, 1);
    // Why the file is not shown, above where it would be.
    m_readMessage = new KMessageWidget(m_pane);
    m_readMessage->setObjectName(prefix + QStringLiteral("ReadMessage"));
    m_readMessage->setMessageType(KMessageWidget::Error);
    m_readMessage->setCloseButtonVisible(false);
    m_readMessage->setWordWrap(true);
    layout->insertWidget(0, m_readMessage);
    showReadable();
}

void ServiceSettings::showReadable()
{
    // Nothing of an unreadable file is shown, and nothing is written to it.
    if (QWidget *form = m_timesyncdPage ? static_cast<QWidget *>(m_timesyncdPage) : m_directivePage) {
        form->setEnabled(m_readable);
    }
    if (m_readable) {
        m_readMessage->hide();
        return;
    }
    m_readMessage->setText(m_tooLarge
                               ? ki18nd("kcm_zel_admin_time",
                                        "%1 is larger than %2 MiB, more than any configuration of this service, and is not shown. It is left as it is; the "
                                        "administrator can edit it.")
                                     .subs(configPath())
                                     .subs(SafeFile::maxSize / (1024 * 1024))
                                     .toString()
                               : ki18nd("kcm_zel_admin_time", "%1 could not be read and is not shown. It is left as it is.").subs(configPath()).toString());
    m_readMessage->show();
}

QWidget *ServiceSettings::page()
{
    if (!m_pane) {
        createPage();
    }
    return m_pane;
}

QString ServiceSettings::failureText() const
{
    return m_failure;
}

void ServiceSettings::showFailure(const FileError &error)
{
    if (error.isError()) {
        qCWarning(ZELADMINTIME_LOG).noquote() << error.toString();
        m_failure = ki18nd("kcm_zel_admin_time", "The settings of %1 could not be saved to %2.\n%3")
                        .subs(serviceName())
                        .subs(configPath())
                        .subs(explanation(error))
                        .toString();
    } else {
        m_failure.clear();
    }
    if (!m_message) {
        return;
    }
    m_message->setText(m_failure);
    if (m_failure.isEmpty()) {
        m_message->animatedHide();
    } else {
        m_message->animatedShow();
    }
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
        rules = {&TimesyncdConfig::isValidKey, &TimesyncdConfig::isManagedKey, &TimesyncdConfig::isDialogKey, [](const QString &key, const QString &value) {
                     return TimesyncdConfig::isEditableLine(key.toUtf8() + '=' + value.toUtf8());
                 }};
        others = m_timesyncd.others;
    } else {
        const DirectiveFormat format = m_format;
        rules = {&DirectiveConfig::isValidKey,
                 [format](const QString &key) {
                     return DirectiveConfig::isManagedKey(format, key);
                 },
                 [format](const QString &key) {
                     return DirectiveConfig::isDialogKey(format, key);
                 },
                 [format](const QString &key, const QString &value) {
                     return DirectiveConfig::isEditableLine(format, key.toUtf8() + ' ' + value.toUtf8());
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

bool ServiceSettings::write(FileError *error)
{
    if (!m_readable) {
        *error = m_readError;
        showFailure(*error);
        return false;
    }
    const QByteArray bytes = content();
    if (bytes == m_snapshot.content) {
        return true;
    }
    const QStringList problems = ConfigFormat::problems(m_service, bytes);
    if (!problems.isEmpty()) {
        *error = FileError(FileError::InvalidContent, configPath(), 0, problems.join(QStringLiteral("; ")));
        showFailure(*error);
        return false;
    }
    // The helper's wait runs a nested event loop that may delete us.
    QPointer<ServiceSettings> self(this);
    const bool written = m_writer(configPath(), bytes, m_snapshot.hash(), m_window, error);
    if (!self) {
        return false;
    }
    showFailure(written ? FileError() : *error);
    if (!written) {
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
