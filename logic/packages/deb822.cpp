// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "packages/deb822.h"

#include <QList>
#include <QSet>

#include <cstring>

namespace Deb822
{
static bool sameName(const QByteArray &a, const char *b)
{
    return qstricmp(a.constData(), b) == 0;
}

QByteArray Paragraph::value(const char *name) const
{
    for (const Field &f : fields) {
        if (sameName(f.name, name)) {
            return f.value;
        }
    }
    return {};
}

bool Paragraph::has(const char *name) const
{
    for (const Field &f : fields) {
        if (sameName(f.name, name)) {
            return true;
        }
    }
    return false;
}

static bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

static bool isFieldNameChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7f && c != ':';
}

namespace
{
class Parser
{
public:
    Parser(const QByteArray &data, const QVector<QByteArray> &keep)
        : data(data)
        , keep(keep)
    {
    }

    Result run()
    {
        const char *const begin = data.constData();
        const int size = data.size();
        int pos = 0;
        int lineNo = 0;
        while (pos < size) {
            int end = data.indexOf('\n', pos);
            if (end < 0) {
                end = size;
            }
            ++lineNo;
            int lineEnd = end;
            if (lineEnd > pos && begin[lineEnd - 1] == '\r') {
                --lineEnd;
            }
            handleLine(begin + pos, lineEnd - pos, lineNo);
            pos = end + 1;
        }
        finishParagraph();
        return std::move(result);
    }

private:
    void handleLine(const char *line, int length, int lineNo)
    {
        if (memchr(line, '\0', length)) {
            fail(lineNo, QStringLiteral("a NUL byte in the text"));
            return;
        }
        int firstNonBlank = 0;
        while (firstNonBlank < length && isBlank(line[firstNonBlank])) {
            ++firstNonBlank;
        }
        if (firstNonBlank == length) {
            finishParagraph();
            return;
        }
        if (broken) {
            return; // skip the rest of a paragraph that has an error
        }
        if (!inParagraph) {
            inParagraph = true;
            current = Paragraph();
            current.firstLine = lineNo;
            lastFieldKept = false;
            haveField = false;
            fieldNames.clear();
        }
        if (firstNonBlank > 0) {
            if (!haveField) {
                fail(lineNo, QStringLiteral("a continuation line before any field"));
                return;
            }
            if (lastFieldKept) {
                QByteArray &value = current.fields.last().value;
                value += '\n';
                value += QByteArray(line + firstNonBlank, length - firstNonBlank).trimmed();
            }
            return;
        }
        const char *colon = static_cast<const char *>(memchr(line, ':', length));
        if (!colon) {
            fail(lineNo, QStringLiteral("a line that is neither a field nor a continuation"));
            return;
        }
        const int nameLength = int(colon - line);
        if (nameLength == 0) {
            fail(lineNo, QStringLiteral("a field without a name"));
            return;
        }
        for (int i = 0; i < nameLength; ++i) {
            if (!isFieldNameChar(line[i])) {
                fail(lineNo, QStringLiteral("an invalid character in a field name"));
                return;
            }
        }
        const QByteArray name = QByteArray(line, nameLength).toLower();
        if (fieldNames.contains(name)) {
            fail(lineNo, QStringLiteral("the field %1 appears twice in one paragraph").arg(QString::fromLatin1(name)));
            return;
        }
        fieldNames.insert(name);
        haveField = true;
        lastFieldKept = keep.isEmpty() || keep.contains(name);
        if (lastFieldKept) {
            const int valueStart = nameLength + 1;
            current.fields.append(Field{QByteArray(line, nameLength), QByteArray(line + valueStart, length - valueStart).trimmed()});
        }
    }

    void fail(int lineNo, const QString &message)
    {
        result.errors.append(Error{lineNo, message});
        broken = true;
        // An error outside a paragraph still spoils the one it would start.
        inParagraph = true;
    }

    void finishParagraph()
    {
        if (inParagraph && !broken && !current.fields.isEmpty()) {
            result.paragraphs.append(std::move(current));
        }
        current = Paragraph();
        inParagraph = false;
        broken = false;
        haveField = false;
        lastFieldKept = false;
    }

    const QByteArray &data;
    const QVector<QByteArray> &keep;
    Result result;
    Paragraph current;
    // A set: a paragraph may hold any number of fields.
    QSet<QByteArray> fieldNames;
    bool inParagraph = false;
    bool broken = false;
    bool haveField = false;
    bool lastFieldKept = false;
};
}

Result parse(const QByteArray &data, const QVector<QByteArray> &keepFields)
{
    return Parser(data, keepFields).run();
}

QVector<QByteArray> relationNames(const QByteArray &field)
{
    QVector<QByteArray> names;
    QSet<QByteArray> seen; // a field may name any number of packages
    const QList<QByteArray> groups = field.split(',');
    for (const QByteArray &group : groups) {
        const QList<QByteArray> alternatives = group.split('|');
        for (const QByteArray &alternative : alternatives) {
            QByteArray name = alternative.trimmed();
            // The name ends at a version, architecture list, build profile or blank.
            int end = 0;
            while (end < name.size()) {
                const char c = name.at(end);
                if (c == '(' || c == '[' || c == '<' || c == ':' || isBlank(c) || c == '\n') {
                    break;
                }
                ++end;
            }
            name.truncate(end);
            if (!name.isEmpty() && !seen.contains(name)) {
                seen.insert(name);
                names.append(name);
            }
        }
    }
    return names;
}
}
