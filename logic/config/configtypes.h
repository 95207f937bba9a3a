// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <climits>

namespace Config
{
// An option that the line does not give.
constexpr int NoValue = INT_MIN;

// One time source of a configuration: a server or pool line and the options
// the settings page edits. Options it does not know stay on the line.
struct ServerEntry {
    QString directive; // "server", "pool", "servers"
    QString host;
    bool iburst = false;
    bool prefer = false;
    bool nts = false;
    bool trusted = false;
    int minpoll = NoValue;
    int maxpoll = NoValue;
    int weight = NoValue;
    int origin = -1; // line it was read from; -1 for a new entry

    bool sameSettings(const ServerEntry &other) const
    {
        return directive == other.directive && host == other.host && iburst == other.iburst && prefer == other.prefer && nts == other.nts
            && trusted == other.trusted && minpoll == other.minpoll && maxpoll == other.maxpoll && weight == other.weight;
    }
};

// A directive the settings page does not show: its keyword and the rest of
// its line as written.
struct DirectiveEntry {
    QString key;
    QString value;
    int origin = -1;

    bool operator==(const DirectiveEntry &other) const
    {
        return key == other.key && value == other.value && origin == other.origin;
    }
};

// A duration setting of systemd's kind ("32", "2min", "1h 30s").
struct DurationValue {
    bool present = false; // the file sets it
    bool understood = false; // whole seconds the page can show
    qint64 seconds = 0;
    QString raw; // the value as written

    static DurationValue fromSeconds(qint64 seconds)
    {
        return {true, true, seconds, QString::number(seconds)};
    }
    bool operator==(const DurationValue &other) const
    {
        return present == other.present && (!present || raw == other.raw);
    }
    bool operator!=(const DurationValue &other) const
    {
        return !(*this == other);
    }
};
}
