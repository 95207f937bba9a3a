// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/configdocument.h"

#include <QSet>

#include <algorithm>

ConfigDocument ConfigDocument::fromBytes(const QByteArray &bytes)
{
    ConfigDocument document;
    int start = 0;
    const int size = bytes.size();
    while (start < size) {
        const int newline = bytes.indexOf('\n', start);
        ConfigLine line;
        if (newline < 0) {
            line.text = bytes.mid(start);
            start = size;
        } else {
            int end = newline;
            if (end > start && bytes.at(end - 1) == '\r') {
                --end;
            }
            line.text = bytes.mid(start, end - start);
            line.eol = bytes.mid(end, newline + 1 - end);
            start = newline + 1;
        }
        document.lines.append(line);
    }
    return document;
}

QByteArray ConfigDocument::toBytes() const
{
    QByteArray bytes;
    for (const ConfigLine &line : lines) {
        bytes += line.text;
        bytes += line.eol;
    }
    return bytes;
}

QByteArray ConfigDocument::defaultEol() const
{
    for (const ConfigLine &line : lines) {
        if (!line.eol.isEmpty()) {
            return line.eol;
        }
    }
    return QByteArrayLiteral("\n");
}

LinePlan::LinePlan(const ConfigDocument &document)
    : m_document(document)
    , m_removed(document.lineCount(), false)
{
}

void LinePlan::replace(int line, const QByteArray &text)
{
    if (line >= 0 && line < m_document.lineCount()) {
        m_replaced.insert(line, text);
    }
}

void LinePlan::remove(int line)
{
    if (line >= 0 && line < m_document.lineCount()) {
        m_removed[line] = true;
    }
}

void LinePlan::insertAfter(int line, const QByteArray &text)
{
    if (line < -1 || line >= m_document.lineCount()) {
        m_appended.append(text);
        return;
    }
    m_inserted[line].append(text);
}

void LinePlan::append(const QByteArray &text)
{
    m_appended.append(text);
}

QByteArray LinePlan::apply() const
{
    const QByteArray eol = m_document.defaultEol();
    QVector<ConfigLine> out;
    out.reserve(m_document.lineCount() + m_appended.size());
    auto emitInserted = [&](int anchor) {
        const auto it = m_inserted.constFind(anchor);
        if (it == m_inserted.constEnd()) {
            return;
        }
        for (const QByteArray &text : it.value()) {
            out.append({text, eol});
        }
    };
    emitInserted(-1);
    for (int i = 0; i < m_document.lineCount(); ++i) {
        if (!m_removed.at(i)) {
            const ConfigLine &line = m_document.lines.at(i);
            const auto replaced = m_replaced.constFind(i);
            out.append({replaced == m_replaced.constEnd() ? line.text : replaced.value(), line.eol});
        }
        emitInserted(i);
    }
    for (const QByteArray &text : m_appended) {
        out.append({text, eol});
    }
    // Every line but the last needs its line end; an unchanged last line
    // keeps the missing newline it had.
    QByteArray bytes;
    for (int i = 0; i < out.size(); ++i) {
        bytes += out.at(i).text;
        bytes += (out.at(i).eol.isEmpty() && i + 1 < out.size()) ? eol : out.at(i).eol;
    }
    return bytes;
}

void placeLines(LinePlan &plan, const QVector<int> &originals, const QVector<PlacedLine> &items, const ConfigDocument &document, int fallbackAnchor)
{
    const QSet<int> originalSet(originals.cbegin(), originals.cend());

    // Items that may stay on their line: a known origin, used once.
    QVector<int> candidates; // indices into items
    QSet<int> seen;
    for (int i = 0; i < items.size(); ++i) {
        const int origin = items.at(i).origin;
        if (originalSet.contains(origin) && !seen.contains(origin)) {
            seen.insert(origin);
            candidates.append(i);
        }
    }

    // The longest run of candidates whose lines are still in file order
    // stays put; everything else is placed anew.
    QVector<int> tailItem; // per run length - 1: candidate index ending the best run
    QVector<int> previous(candidates.size(), -1);
    for (int c = 0; c < candidates.size(); ++c) {
        const int origin = items.at(candidates.at(c)).origin;
        const auto pos = std::lower_bound(tailItem.begin(), tailItem.end(), origin, [&](int candidate, int value) {
            return items.at(candidates.at(candidate)).origin < value;
        });
        const int length = int(pos - tailItem.begin());
        previous[c] = length > 0 ? tailItem.at(length - 1) : -1;
        if (pos == tailItem.end()) {
            tailItem.append(c);
        } else {
            *pos = c;
        }
    }
    QVector<bool> stays(items.size(), false);
    QSet<int> stayingOrigins;
    for (int c = tailItem.isEmpty() ? -1 : tailItem.last(); c >= 0; c = previous.at(c)) {
        stays[candidates.at(c)] = true;
        stayingOrigins.insert(items.at(candidates.at(c)).origin);
    }

    for (int origin : originals) {
        if (!stayingOrigins.contains(origin)) {
            plan.remove(origin);
        }
    }

    int anchor;
    if (!stayingOrigins.isEmpty()) {
        // Items before the first staying one go right before its line.
        anchor = *std::min_element(stayingOrigins.cbegin(), stayingOrigins.cend()) - 1;
    } else if (!originals.isEmpty()) {
        anchor = *std::max_element(originals.cbegin(), originals.cend());
    } else {
        anchor = fallbackAnchor;
    }
    for (int i = 0; i < items.size(); ++i) {
        const PlacedLine &item = items.at(i);
        if (stays.at(i)) {
            if (item.text != document.lines.at(item.origin).text) {
                plan.replace(item.origin, item.text);
            }
            anchor = item.origin;
        } else if (anchor == -2) {
            plan.append(item.text);
        } else {
            plan.insertAfter(anchor, item.text);
        }
    }
}

static bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

TokenizedLine tokenize(const QByteArray &text, const TokenSyntax &syntax)
{
    TokenizedLine line;
    const int size = text.size();
    int i = 0;
    while (i < size && isBlank(text.at(i))) {
        ++i;
    }
    if (i < size && syntax.lineCommentChars.contains(text.at(i))) {
        line.isComment = true;
        line.contentEnd = i;
        return line;
    }
    line.contentEnd = size;
    while (i < size) {
        while (i < size && isBlank(text.at(i))) {
            ++i;
        }
        if (i >= size) {
            break;
        }
        const char c = text.at(i);
        if (syntax.inlineComments && c == '#') {
            line.contentEnd = i;
            break;
        }
        Token token;
        token.begin = i;
        if (syntax.quotes && c == '"') {
            const int close = text.indexOf('"', i + 1);
            const int valueEnd = close < 0 ? size : close;
            token.value = text.mid(i + 1, valueEnd - i - 1);
            token.quoted = true;
            i = close < 0 ? size : close + 1;
        } else {
            while (i < size && !isBlank(text.at(i)) && !(syntax.inlineComments && text.at(i) == '#')) {
                ++i;
            }
            token.value = text.mid(token.begin, i - token.begin);
        }
        token.end = i;
        line.tokens.append(token);
    }
    return line;
}

void LineEdit::replace(int begin, int end, const QByteArray &with)
{
    m_changes.append({begin, end, with});
}

QByteArray LineEdit::apply() const
{
    // Back to front, so earlier offsets stay valid; text inserted at one
    // offset keeps the order it was added in.
    QVector<Change> changes(m_changes.crbegin(), m_changes.crend());
    std::stable_sort(changes.begin(), changes.end(), [](const Change &a, const Change &b) {
        return a.begin > b.begin;
    });
    QByteArray text = m_text;
    for (const Change &change : changes) {
        const int begin = qBound(0, change.begin, text.size());
        const int end = qBound(begin, change.end, text.size());
        text.replace(begin, end - begin, change.with);
    }
    return text;
}

bool hasForbiddenBytes(const QByteArray &bytes)
{
    return bytes.contains('\0');
}
