// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/configdocument.h"
#include "config/configtypes.h"

// The configuration files made of "keyword arguments..." lines.
enum class DirectiveFormat {
    Chrony, // /etc/chrony/chrony.conf
    Ntpsec, // /etc/ntpsec/ntp.conf
    Openntpd, // /etc/openntpd/ntpd.conf
};

// What a format's server lines can say, for the settings page.
struct ServerOptions {
    QStringList directives; // the first is the one new entries get
    bool iburst = false;
    bool prefer = false;
    bool nts = false;
    bool trusted = false;
    bool pollRange = false; // minpoll and maxpoll, as powers of two seconds
    int pollMinimum = 0;
    int pollMaximum = 0;
    bool weight = false;
    int weightMinimum = 0;
    int weightMaximum = 0;
};

struct DirectiveSettings {
    QVector<Config::ServerEntry> servers;
    // chrony alone: "makestep threshold limit" and "rtcsync".
    bool makestep = false;
    double makestepThreshold = 1.0;
    int makestepLimit = 3; // -1: no limit
    bool rtcsync = false;
    // Every other directive of the file.
    QVector<Config::DirectiveEntry> others;
};

// A configuration file read once; render() gives it back with the settings
// changed and every other byte as it was.
class DirectiveConfig
{
public:
    static DirectiveConfig parse(DirectiveFormat format, const QByteArray &bytes);

    DirectiveFormat format() const
    {
        return m_format;
    }
    const DirectiveSettings &settings() const
    {
        return m_settings;
    }
    QByteArray render(const DirectiveSettings &wanted) const;

    static ServerOptions serverOptions(DirectiveFormat format);
    // The servers a file names, in order, valid or not.
    static QStringList serverNames(const DirectiveSettings &settings);
    // Why the bytes must not be written; empty when they may.
    static QStringList problems(DirectiveFormat format, const QByteArray &bytes);

    // Keywords the settings page handles, and the rules for the rest.
    static bool isManagedKey(DirectiveFormat format, const QString &key);
    static bool isValidKey(const QString &key);
    // Keywords the settings dialog may add or change.
    static bool isDialogKey(DirectiveFormat format, const QString &key);
    // Whether the page or the dialog could have written this line: a server
    // line with a valid address and the options a server line may keep, or
    // a directive of the page or the dialog with a value of its form. None
    // names a file, folder, device, socket, program or user.
    static bool isEditableLine(DirectiveFormat format, const QByteArray &text);

private:
    struct SourceLine {
        int line;
        int hostToken; // index of the address among the tokens, -1 when missing
        Config::ServerEntry entry;
    };

    QByteArray editedServerLine(const SourceLine &source, const Config::ServerEntry &wanted) const;
    QByteArray newServerLine(const Config::ServerEntry &entry) const;
    QByteArray editedDirectiveLine(int line, const QByteArray &value) const;
    int commentedAnchor(const QByteArray &key) const;
    void renderChrony(LinePlan &plan, const DirectiveSettings &wanted) const;

    DirectiveFormat m_format = DirectiveFormat::Chrony;
    ConfigDocument m_document;
    QVector<TokenizedLine> m_tokens;
    DirectiveSettings m_settings;
    QVector<SourceLine> m_sources;
    QVector<int> m_otherLines;
    QVector<int> m_makestepLines;
    QVector<int> m_rtcsyncLines;
};
