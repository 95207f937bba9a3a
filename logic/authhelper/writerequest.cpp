// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "authhelper/writerequest.h"

#include "catalog/servicecatalog.h"
#include "config/configdocument.h"
#include "config/configformat.h"
#include "config/safefile.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>

namespace
{
// What a configuration may name that is not a time source's setting: files,
// folders, sockets, devices, programs, keys, users and further configuration.
// The helper writes as root for users who only proved they may set the
// clock, so lines naming such things must stay as they are on disk; the rest
// is what the settings pages and the main settings dialog edit.
struct Guard {
    TokenSyntax syntax;
    bool caseInsensitive; // chrony's keywords
    bool joinsContinuedLines; // openntpd joins a line ending in '\' to the next
    QList<QByteArray> directives;
    QList<QByteArray> options; // words on any line that take a path
};

const Guard &guardOf(PackageIndex service)
{
    static const Guard chrony{
        {QByteArrayLiteral("#%;!"), false, false},
        true,
        false,
        {"bindcmdaddress", "confdir",      "driftfile",      "dumpdir",    "hwclockfile",   "include",      "keyfile",         "leapsectz",
         "logdir",         "mailonchange", "ntpsigndsocket", "ntsdumpdir", "ntsservercert", "ntsserverkey", "ntstrustedcerts", "pidfile",
         "refclock",       "rtcdevice",    "rtcfile",        "sourcedir",  "tempcomp",      "user"},
        {},
    };
    static const Guard ntpsec{
        {QByteArrayLiteral("#"), true, true},
        false,
        false,
        {"driftfile", "filegen", "includefile", "keys", "leapfile", "logfile", "nts", "phone", "refclock", "saveconfigdir", "statsdir"},
        {"ca", "cert", "cookie", "file", "path", "ppspath"},
    };
    static const Guard openntpd{
        {QByteArrayLiteral("#"), true, true},
        false,
        true,
        {"listen", "query", "sensor"},
        {},
    };
    // timesyncd names no files; only the old include syntax of systemd's
    // configuration files could pull in another one.
    static const Guard timesyncd{
        {QByteArrayLiteral("#;"), false, false},
        true,
        false,
        {".include"},
        {},
    };
    switch (service) {
    case ChronyPackage:
        return chrony;
    case NtpsecPackage:
        return ntpsec;
    case OpenntpdPackage:
        return openntpd;
    case TimesyncdPackage:
        break;
    }
    return timesyncd;
}

// chronyd reads a line in pieces of 2 KiB: the rest of a longer one is read
// as a line of its own.
constexpr int maxNewLineLength = 2000;

struct LogicalLine {
    int number; // of its first line, from 1
    QByteArray text;
};

QVector<LogicalLine> logicalLines(const Guard &guard, const QByteArray &bytes)
{
    QVector<LogicalLine> lines;
    const ConfigDocument document = ConfigDocument::fromBytes(bytes);
    bool continued = false;
    for (int i = 0; i < document.lineCount(); ++i) {
        QByteArray text = document.lines.at(i).text;
        const bool continues = guard.joinsContinuedLines && text.endsWith('\\');
        if (continues) {
            text.chop(1);
        }
        if (continued) {
            lines.last().text += text;
        } else {
            lines.append({i + 1, text});
        }
        continued = continues;
    }
    return lines;
}

// A guarded line's words, or nothing for a line the pages may change.
QByteArray guardedWords(const Guard &guard, const QByteArray &text)
{
    const TokenizedLine line = tokenize(text, guard.syntax);
    if (line.isComment || line.tokens.isEmpty()) {
        return {};
    }
    bool guarded = guard.directives.contains(line.tokens.constFirst().value.toLower());
    for (int i = 1; !guarded && i + 1 < line.tokens.size(); ++i) {
        guarded = guard.options.contains(line.tokens.at(i).value.toLower());
    }
    if (!guarded) {
        return {};
    }
    QByteArray words;
    for (int i = 0; i < line.tokens.size(); ++i) {
        const Token &token = line.tokens.at(i);
        const QByteArray value = i == 0 && guard.caseInsensitive ? token.value.toLower() : token.value;
        words += QByteArray::number(value.size()) + (token.quoted ? '"' : ':') + value;
    }
    return words;
}
}

namespace WriteRequest
{
QVariantMap arguments(const QString &path, const QByteArray &content, const QByteArray &expectedHash)
{
    return {
        {QStringLiteral("path"), path},
        {QStringLiteral("content"), content},
        {QStringLiteral("expectedHash"), expectedHash},
        {QStringLiteral("notAfter"), QDateTime::currentMSecsSinceEpoch() + validityMs},
    };
}

bool validate(const QString &path, const QByteArray &content, FileError *error)
{
    // Exactly a catalog path: no other spelling of it, nothing near it.
    const ServiceDescription *service = ServiceCatalog::byConfigPath(path);
    if (!service) {
        *error = FileError(FileError::NotConfigFile, path);
        return false;
    }
    if (content.size() > maxContentSize) {
        *error = FileError(FileError::TooLarge, path, maxContentSize);
        return false;
    }
    const QStringList problems = ConfigFormat::problems(service->index, content);
    if (!problems.isEmpty()) {
        *error = FileError(FileError::InvalidContent, path, 0, problems.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

bool keepsGuardedLines(const QString &path, const QByteArray &oldContent, const QByteArray &content, FileError *error)
{
    const ServiceDescription *service = ServiceCatalog::byConfigPath(path);
    if (!service) {
        *error = FileError(FileError::NotConfigFile, path);
        return false;
    }
    const Guard &guard = guardOf(service->index);
    QSet<QByteArray> oldLines;
    QSet<QByteArray> oldGuarded;
    for (const LogicalLine &line : logicalLines(guard, oldContent)) {
        oldLines.insert(line.text);
        oldGuarded.insert(guardedWords(guard, line.text));
    }
    for (const LogicalLine &line : logicalLines(guard, content)) {
        if (oldLines.contains(line.text)) {
            continue;
        }
        if (line.text.size() > maxNewLineLength) {
            *error = FileError(FileError::LineTooLong, path, line.number);
            return false;
        }
        const QByteArray words = guardedWords(guard, line.text);
        if (!words.isEmpty() && !oldGuarded.contains(words)) {
            *error = FileError(FileError::RefusedLine, path, line.number, textOf(line.text).trimmed());
            return false;
        }
    }
    return true;
}

bool execute(const QVariantMap &arguments, const QString &root, FileError *error)
{
    const QVariant path = arguments.value(QStringLiteral("path"));
    const QVariant content = arguments.value(QStringLiteral("content"));
    const QVariant expectedHash = arguments.value(QStringLiteral("expectedHash"));
    const QVariant notAfter = arguments.value(QStringLiteral("notAfter"));
    if (arguments.size() != 4 || path.userType() != QMetaType::QString || content.userType() != QMetaType::QByteArray
        || expectedHash.userType() != QMetaType::QByteArray || notAfter.userType() != QMetaType::LongLong) {
        *error = FileError(FileError::Malformed, path.toString());
        return false;
    }
    // The caller has stopped waiting and told its user that nothing was
    // written: keep it true.
    if (QDateTime::currentMSecsSinceEpoch() > notAfter.toLongLong()) {
        *error = FileError(FileError::TooLate, path.toString());
        return false;
    }
    static const QRegularExpression hexHash(QRegularExpression::anchoredPattern(QStringLiteral("([0-9a-f]{64})?")));
    if (!hexHash.match(QString::fromLatin1(expectedHash.toByteArray())).hasMatch()) {
        *error = FileError(FileError::Malformed, path.toString(), 0, QStringLiteral("hash"));
        return false;
    }
    const QString systemPath = path.toString();
    if (!validate(systemPath, content.toByteArray(), error)) {
        return false;
    }
    // Checked against the file as it is now; a file changed since the
    // caller read it is refused by the write below.
    SafeFile::Snapshot snapshot;
    if (!SafeFile::read(root, systemPath, &snapshot, error)) {
        return false;
    }
    if (snapshot.hash() == expectedHash.toByteArray() && !keepsGuardedLines(systemPath, snapshot.content, content.toByteArray(), error)) {
        return false;
    }
    return SafeFile::write(root, systemPath, content.toByteArray(), expectedHash.toByteArray(), error);
}
}
