// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "common/systemaccess.h"
#include "config/directiveconfig.h"
#include "config/fileerror.h"
#include "config/safefile.h"
#include "config/timesyncdconfig.h"
#include "logictypes.h"

#include <QObject>
#include <QPointer>

#include <functional>

class DirectivePage;
class KMessageWidget;
class TimesyncdPage;
class QScrollArea;
class QWidget;

// The configuration of one installed service: its file as read, the
// settings page and dialog that edit it, and writing it back.
class ServiceSettings : public QObject
{
    Q_OBJECT

public:
    // How a new file content reaches the disk; tests pass their own.
    using Writer = std::function<bool(const QString &systemPath, const QByteArray &content, const QByteArray &expectedHash, QWidget *window, FileError *error)>;
    // Root (or a private system root): in place; else through the helper.
    static Writer machineWriter(const QString &root);

    // The file is read under `system`'s root, the page's sources on its bus;
    // an empty `writer` is machineWriter(system.root).
    ServiceSettings(PackageIndex service, const SystemAccess &system, Writer writer = {}, QObject *parent = nullptr);
    ~ServiceSettings() override;

    PackageIndex service() const
    {
        return m_service;
    }
    QString serviceName() const;
    // The file's path on the machine (not mapped into a system root).
    QString configPath() const;

    // The settings page, made on first use, with a place above the form that
    // tells why the last save failed. The object keeps it and deletes it;
    // one deleted by someone else is made anew on the next call.
    QWidget *page();
    // Whether the settings dialog can be opened: the file could be read.
    bool hasMainSettings() const;
    // Modal; returns when the dialog is closed.
    void openMainSettingsDialog(QWidget *parent);
    bool isDialogOpen() const
    {
        return m_dialogOpen;
    }

    // The file as the edits make it, and whether that differs from disk.
    QByteArray content() const;
    bool isModified() const;
    // Reads the file again; pending edits are dropped.
    bool reload(FileError *error = nullptr);
    // Writes the file when modified. On failure the edits stay pending,
    // `error` says why and the page shows it.
    bool write(FileError *error);
    // Why the last save failed, in the user's words, as the page shows it;
    // empty after a save or a reload.
    QString failureText() const;

    // The valid server names of the configuration as edited, in order.
    QStringList configuredServers() const;

    // The window an authentication dialog belongs to.
    void setWindow(QWidget *window);

Q_SIGNALS:
    // Every edit of the page or the dialog.
    void changed();

private:
    void adopt(const QByteArray &bytes, bool exists);
    void createPage();
    void showReadable();
    void pageEdited();
    void showFailure(const FileError &error);

    const PackageIndex m_service;
    const SystemAccess m_system;
    const Writer m_writer;
    DirectiveFormat m_format = DirectiveFormat::Chrony;
    SafeFile::Snapshot m_snapshot;
    bool m_readable = false;
    FileError m_readError;
    QString m_failure;
    bool m_tooLarge = false;
    TimesyncdConfig m_timesyncdConfig;
    TimesyncdSettings m_timesyncd;
    DirectiveConfig m_directiveConfig;
    DirectiveSettings m_directive;
    QPointer<TimesyncdPage> m_timesyncdPage;
    QPointer<DirectivePage> m_directivePage;
    QPointer<QWidget> m_pane; // the scroll area and the messages above it
    QPointer<QScrollArea> m_scrollArea;
    QPointer<KMessageWidget> m_message;
    QPointer<KMessageWidget> m_readMessage;
    QPointer<QWidget> m_window;
    bool m_dialogOpen = false;
};
