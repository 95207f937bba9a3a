// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/timesyncdconfig.h"

#include "common/serveraddress.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

using Config::DirectiveEntry;
using Config::DurationValue;

namespace
{
const QByteArray ntpKey = QByteArrayLiteral("NTP");
const QByteArray fallbackKey = QByteArrayLiteral("FallbackNTP");
const QByteArray rootDistanceKey = QByteArrayLiteral("RootDistanceMaxSec");
const QByteArray pollMinKey = QByteArrayLiteral("PollIntervalMinSec");
const QByteArray pollMaxKey = QByteArrayLiteral("PollIntervalMaxSec");

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// systemd's list keys: each assignment adds to the list, an empty one
// empties it.
QStringList listValue(const QList<QByteArray> &values)
{
    QStringList list;
    for (const QByteArray &value : values) {
        const QList<QByteArray> words = value.simplified().split(' ');
        if (value.trimmed().isEmpty()) {
            list.clear();
            continue;
        }
        for (const QByteArray &word : words) {
            list.append(textOf(word));
        }
    }
    return list;
}

DurationValue durationValue(const QByteArray &value)
{
    DurationValue duration;
    // An empty assignment goes back to the default.
    if (value.isEmpty()) {
        return duration;
    }
    duration.present = true;
    duration.raw = textOf(value);
    duration.understood = TimesyncdConfig::parseDuration(duration.raw, &duration.seconds);
    return duration;
}
}

bool TimesyncdConfig::parseDuration(const QString &text, qint64 *seconds)
{
    static const QRegularExpression part(QStringLiteral("\\G\\s*(\\d{1,12}(?:\\.\\d{1,9})?)\\s*([A-Za-z]*)\\s*"));
    struct Unit {
        const char *name;
        double seconds;
    };
    static const Unit units[] = {
        {"", 1},         {"s", 1},     {"sec", 1},     {"second", 1},   {"seconds", 1},  {"ms", 1e-3},     {"msec", 1e-3},    {"us", 1e-6},
        {"usec", 1e-6},  {"m", 60},    {"min", 60},    {"minute", 60},  {"minutes", 60}, {"h", 3600},      {"hr", 3600},      {"hour", 3600},
        {"hours", 3600}, {"d", 86400}, {"day", 86400}, {"days", 86400}, {"w", 604800},   {"week", 604800}, {"weeks", 604800},
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return false;
    }
    double total = 0;
    int offset = 0;
    while (offset < trimmed.size()) {
        const auto match = part.match(trimmed, offset);
        if (!match.hasMatch() || match.capturedLength() == 0) {
            return false;
        }
        const QString unitName = match.captured(2);
        const Unit *unit = nullptr;
        for (const Unit &u : units) {
            if (unitName == QLatin1String(u.name)) {
                unit = &u;
                break;
            }
        }
        if (!unit) {
            return false;
        }
        total += match.captured(1).toDouble() * unit->seconds;
        offset = match.capturedEnd();
    }
    if (total > 1e12 || std::floor(total) != total) {
        return false;
    }
    *seconds = qint64(total);
    return true;
}

static bool isManaged(const QByteArray &key)
{
    return key == ntpKey || key == fallbackKey || key == rootDistanceKey || key == pollMinKey || key == pollMaxKey;
}

bool TimesyncdConfig::isManagedKey(const QString &key)
{
    return isManaged(key.toUtf8());
}

bool TimesyncdConfig::isValidKey(const QString &key)
{
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z][A-Za-z0-9]{0,63}")));
    return re.match(key).hasMatch();
}

bool TimesyncdConfig::isDialogKey(const QString &key)
{
    return key == QLatin1String("ConnectionRetrySec") || key == QLatin1String("SaveIntervalSec");
}

bool TimesyncdConfig::isEditableLine(const QByteArray &text)
{
    // systemd ends a line at a CR as well, and joins one ending in '\'.
    for (const uchar c : text) {
        if ((c < 0x20 && c != '\t') || c == 0x7f || c == '\\') {
            return false;
        }
    }
    const QByteArray line = text.trimmed();
    if (line.isEmpty() || line == "[Time]") {
        return true;
    }
    const int equals = line.indexOf('=');
    if (equals < 0) {
        return false;
    }
    const QByteArray key = line.left(equals).trimmed();
    const QByteArray value = line.mid(equals + 1).trimmed();
    if (key == ntpKey || key == fallbackKey) {
        const QStringList names = listValue({value});
        return std::all_of(names.cbegin(), names.cend(), &ServerAddress::isValid);
    }
    // A time span: numbers and units.
    static const QRegularExpression span(QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Za-z. \\t]{0,64}")));
    return (isManaged(key) || isDialogKey(textOf(key))) && span.match(textOf(value)).hasMatch();
}

TimesyncdConfig TimesyncdConfig::parse(const QByteArray &bytes)
{
    TimesyncdConfig config;
    config.m_document = ConfigDocument::fromBytes(bytes);
    bool inTime = false;
    int lastContent = -1;
    auto closeSection = [&] {
        if (inTime) {
            config.m_sectionEnds.append(lastContent);
        }
    };
    const auto &lines = config.m_document.lines;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &text = lines.at(i).text;
        int begin = 0;
        int end = text.size();
        while (begin < end && isBlank(text.at(begin))) {
            ++begin;
        }
        while (end > begin && isBlank(text.at(end - 1))) {
            --end;
        }
        if (begin == end) {
            continue;
        }
        const char first = text.at(begin);
        if (first == '[') {
            closeSection();
            inTime = text.mid(begin, end - begin) == "[Time]";
            if (inTime) {
                config.m_timeHeaders.append(i);
            }
            lastContent = i;
            continue;
        }
        lastContent = i;
        if (first == '#' || first == ';' || !inTime) {
            continue;
        }
        const int equals = text.indexOf('=', begin);
        if (equals < 0 || equals >= end) {
            continue;
        }
        int keyEnd = equals;
        while (keyEnd > begin && isBlank(text.at(keyEnd - 1))) {
            --keyEnd;
        }
        int valueBegin = equals + 1;
        while (valueBegin < end && isBlank(text.at(valueBegin))) {
            ++valueBegin;
        }
        config.m_assignments.append({i, begin, valueBegin, end, text.mid(begin, keyEnd - begin), text.mid(valueBegin, end - valueBegin)});
    }
    closeSection();

    QList<QByteArray> ntp;
    QList<QByteArray> fallback;
    TimesyncdSettings &s = config.m_settings;
    for (const Assignment &a : std::as_const(config.m_assignments)) {
        if (a.key == ntpKey) {
            ntp.append(a.value);
        } else if (a.key == fallbackKey) {
            fallback.append(a.value);
        } else if (a.key == rootDistanceKey) {
            s.rootDistanceMaxSec = durationValue(a.value);
        } else if (a.key == pollMinKey) {
            s.pollIntervalMinSec = durationValue(a.value);
        } else if (a.key == pollMaxKey) {
            s.pollIntervalMaxSec = durationValue(a.value);
        } else {
            s.others.append({textOf(a.key), textOf(a.value), a.line});
        }
    }
    s.ntp = listValue(ntp);
    s.fallbackNtp = listValue(fallback);
    return config;
}

QStringList TimesyncdConfig::serverNames(const TimesyncdSettings &settings)
{
    return settings.ntp + settings.fallbackNtp;
}

QStringList TimesyncdConfig::problems(const QByteArray &bytes)
{
    QStringList problems;
    if (hasForbiddenBytes(bytes)) {
        problems.append(QStringLiteral("the file holds a NUL byte"));
    }
    const TimesyncdConfig config = parse(bytes);
    for (const Assignment &a : config.m_assignments) {
        if (a.key != ntpKey && a.key != fallbackKey) {
            continue;
        }
        const QStringList names = listValue({a.value});
        for (const QString &name : names) {
            if (!ServerAddress::isValid(name)) {
                problems.append(QStringLiteral("line %1: \"%2\" is not a valid server name").arg(a.line + 1).arg(name));
            }
        }
    }
    return problems;
}

int TimesyncdConfig::insertionAnchor(const QByteArray &key) const
{
    if (m_timeHeaders.isEmpty()) {
        return -2;
    }
    // Next to the commented-out default ("#NTP=") when the file has one.
    static const QRegularExpression commented(QStringLiteral("^\\s*[#;]\\s*([A-Za-z0-9]+)\\s*="));
    int anchor = -1;
    for (int h = 0; h < m_timeHeaders.size(); ++h) {
        const int end = m_sectionEnds.value(h, m_document.lineCount() - 1);
        for (int i = m_timeHeaders.at(h) + 1; i <= end; ++i) {
            const auto match = commented.match(QString::fromLatin1(m_document.lines.at(i).text));
            if (match.hasMatch() && match.captured(1).toLatin1() == key) {
                anchor = i;
            }
        }
    }
    if (anchor >= 0) {
        return anchor;
    }
    // Else after the last assignment of the last [Time] section.
    const int lastHeader = m_timeHeaders.last();
    for (const Assignment &a : m_assignments) {
        if (a.line > lastHeader) {
            anchor = a.line;
        }
    }
    return anchor >= 0 ? anchor : lastHeader;
}

QByteArray TimesyncdConfig::assignmentText(const Assignment &a, const QByteArray &value) const
{
    LineEdit edit(m_document.lines.at(a.line).text);
    edit.replace(a.valueBegin, a.valueEnd, value);
    return edit.apply();
}

QByteArray TimesyncdConfig::render(const TimesyncdSettings &wanted) const
{
    LinePlan plan(m_document);
    bool headerAdded = false;
    auto ensureSection = [&] {
        if (m_timeHeaders.isEmpty() && !headerAdded) {
            plan.append(QByteArrayLiteral("[Time]"));
            headerAdded = true;
        }
    };
    auto assignmentsOf = [&](const QByteArray &key) {
        QVector<Assignment> found;
        for (const Assignment &a : m_assignments) {
            if (a.key == key) {
                found.append(a);
            }
        }
        return found;
    };
    // The last assignment takes the value; for lists, the earlier ones go.
    auto set = [&](const QByteArray &key, const QByteArray &value, bool dropEarlier) {
        const QVector<Assignment> found = assignmentsOf(key);
        if (found.isEmpty()) {
            ensureSection();
            plan.insertAfter(insertionAnchor(key), key + '=' + value);
            return;
        }
        plan.replace(found.last().line, assignmentText(found.last(), value));
        if (dropEarlier) {
            for (int i = 0; i + 1 < found.size(); ++i) {
                plan.remove(found.at(i).line);
            }
        }
    };
    auto unset = [&](const QByteArray &key) {
        const QVector<Assignment> found = assignmentsOf(key);
        for (const Assignment &a : found) {
            plan.remove(a.line);
        }
    };
    auto setList = [&](const QByteArray &key, const QStringList &current, const QStringList &list) {
        if (current == list) {
            return;
        }
        if (list.isEmpty()) {
            unset(key);
        } else {
            set(key, list.join(QLatin1Char(' ')).toUtf8(), true);
        }
    };
    auto setDuration = [&](const QByteArray &key, const DurationValue &current, const DurationValue &value) {
        if (current == value) {
            return;
        }
        if (!value.present) {
            unset(key);
        } else {
            set(key, value.raw.toUtf8(), false);
        }
    };

    setList(ntpKey, m_settings.ntp, wanted.ntp);
    setList(fallbackKey, m_settings.fallbackNtp, wanted.fallbackNtp);
    setDuration(rootDistanceKey, m_settings.rootDistanceMaxSec, wanted.rootDistanceMaxSec);
    setDuration(pollMinKey, m_settings.pollIntervalMinSec, wanted.pollIntervalMinSec);
    setDuration(pollMaxKey, m_settings.pollIntervalMaxSec, wanted.pollIntervalMaxSec);

    if (wanted.others != m_settings.others) {
        QVector<int> originals;
        QHash<int, const Assignment *> byLine;
        for (const Assignment &a : m_assignments) {
            if (!isManaged(a.key)) {
                originals.append(a.line);
                byLine.insert(a.line, &a);
            }
        }
        QHash<int, const DirectiveEntry *> read;
        for (const DirectiveEntry &entry : m_settings.others) {
            read.insert(entry.origin, &entry);
        }
        QVector<PlacedLine> items;
        for (const DirectiveEntry &entry : wanted.others) {
            // Compared as read, so that bytes that are not UTF-8 survive
            // on every line the user did not change.
            const Assignment *a = byLine.value(entry.origin);
            const DirectiveEntry *old = a ? read.value(entry.origin) : nullptr;
            if (old && old->key == entry.key && old->value == entry.value) {
                items.append({entry.origin, m_document.lines.at(a->line).text});
            } else if (old && old->key == entry.key) {
                items.append({entry.origin, assignmentText(*a, entry.value.toUtf8())});
            } else {
                items.append({a ? entry.origin : -1, entry.key.toUtf8() + '=' + entry.value.toUtf8()});
            }
        }
        if (!items.isEmpty()) {
            ensureSection();
        }
        placeLines(plan, originals, items, m_document, m_sectionEnds.isEmpty() ? -2 : m_sectionEnds.last());
    }
    return plan.apply();
}
