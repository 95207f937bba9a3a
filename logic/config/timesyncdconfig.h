// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "config/configdocument.h"
#include "config/configtypes.h"

// The [Time] section of systemd-timesyncd's configuration.
struct TimesyncdSettings {
    QStringList ntp;
    QStringList fallbackNtp; // empty: the built-in fallback servers
    Config::DurationValue rootDistanceMaxSec;
    Config::DurationValue pollIntervalMinSec;
    Config::DurationValue pollIntervalMaxSec;
    // The other assignments of [Time].
    QVector<Config::DirectiveEntry> others;
};

// timesyncd.conf, read once; render() gives the file with the settings
// changed and every other byte as it was.
class TimesyncdConfig
{
public:
    static TimesyncdConfig parse(const QByteArray &bytes);

    const TimesyncdSettings &settings() const
    {
        return m_settings;
    }
    QByteArray render(const TimesyncdSettings &wanted) const;

    // The servers a file names, in order, valid or not.
    static QStringList serverNames(const TimesyncdSettings &settings);
    // Why the bytes must not be written; empty when they may.
    static QStringList problems(const QByteArray &bytes);
    // systemd's time span ("90", "1min 30s", "2h") in whole seconds.
    static bool parseDuration(const QString &text, qint64 *seconds);

    // Managed keys, and the rules of the rest for the settings dialog.
    static bool isManagedKey(const QString &key);
    static bool isValidKey(const QString &key);
    // Keys the settings dialog may add or change.
    static bool isDialogKey(const QString &key);
    // Whether the page or the dialog could have written this line: a
    // [Time] header or an assignment of timesyncd's with a value of its form.
    static bool isEditableLine(const QByteArray &text);

private:
    struct Assignment {
        int line;
        int keyBegin;
        int valueBegin;
        int valueEnd;
        QByteArray key;
        QByteArray value;
    };

    int insertionAnchor(const QByteArray &key) const;
    QByteArray assignmentText(const Assignment &a, const QByteArray &value) const;

    ConfigDocument m_document;
    TimesyncdSettings m_settings;
    QVector<Assignment> m_assignments; // in [Time] sections, file order
    QVector<int> m_timeHeaders;
    QVector<int> m_sectionEnds; // last line of each [Time] section
};
