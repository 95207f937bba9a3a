// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// A configuration file as a list of lines. Each line keeps its exact bytes
// and its own line end, so joining the lines gives the file back unchanged,
// whatever it holds (comments, odd spacing, CR LF, no final newline, bytes
// that are not UTF-8).
struct ConfigLine {
    QByteArray text; // without the line end
    QByteArray eol; // "\n", "\r\n", or empty for a last line without one
};

class ConfigDocument
{
public:
    static ConfigDocument fromBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

    int lineCount() const
    {
        return lines.size();
    }
    // The line end new lines get: the one the file uses first, else "\n".
    QByteArray defaultEol() const;

    QVector<ConfigLine> lines;
};

// Changes to a document, all expressed against the lines as read, applied
// in one pass. Lines keep their place unless removed; inserted lines go
// after the line they are anchored to (-1: before the first line).
class LinePlan
{
public:
    explicit LinePlan(const ConfigDocument &document);

    void replace(int line, const QByteArray &text);
    void remove(int line);
    void insertAfter(int line, const QByteArray &text);
    void append(const QByteArray &text);

    QByteArray apply() const;

private:
    const ConfigDocument &m_document;
    QHash<int, QByteArray> m_replaced;
    QVector<bool> m_removed;
    QHash<int, QVector<QByteArray>> m_inserted;
    QVector<QByteArray> m_appended;
};

// One item of an ordered list of lines (servers, directives) as the user
// left it: the line it came from (-1 when new) and the text it should have.
struct PlacedLine {
    int origin = -1;
    QByteArray text;
};

// Puts an edited list back where it came from with as few changed lines as
// possible. `originals` are the lines the list was read from, in file order.
// Items that kept their relative order stay on their lines (rewritten only
// when their text changed); removed items lose their lines; new and moved
// items go right after the item before them in the list. When no item
// stays, the list goes where the last original line was, or after
// `fallbackAnchor` when there was none (-2: at the end of the file).
void placeLines(LinePlan &plan, const QVector<int> &originals, const QVector<PlacedLine> &items, const ConfigDocument &document, int fallbackAnchor = -2);

// Splitting a line into words, remembering where each is, so that an edit
// can change one word and leave every other byte alone.
struct Token {
    int begin = 0; // offset of the first byte (the opening quote when quoted)
    int end = 0; // offset after the last byte
    QByteArray value; // without quotes
    bool quoted = false;
};

struct TokenSyntax {
    // Characters that begin a comment when they are the first of a line.
    QByteArray lineCommentChars = QByteArrayLiteral("#");
    // Whether '#' begins a comment anywhere on the line.
    bool inlineComments = false;
    // Whether "..." groups a word that may hold spaces.
    bool quotes = false;
};

struct TokenizedLine {
    QVector<Token> tokens;
    // Where the trailing comment (or the end of the line) begins.
    int contentEnd = 0;
    bool isComment = false; // the whole line is a comment
};

TokenizedLine tokenize(const QByteArray &text, const TokenSyntax &syntax);

// Byte-range edits of one line, applied back to front.
class LineEdit
{
public:
    explicit LineEdit(const QByteArray &text)
        : m_text(text)
    {
    }
    void replace(int begin, int end, const QByteArray &with);
    QByteArray apply() const;

private:
    struct Change {
        int begin;
        int end;
        QByteArray with;
    };
    QByteArray m_text;
    QVector<Change> m_changes;
};

// The text of some bytes, all of them: Qt 5's QString::fromUtf8(QByteArray)
// would stop at a NUL byte.
inline QString textOf(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

// True for the bytes a configuration file must never hold.
bool hasForbiddenBytes(const QByteArray &bytes);
