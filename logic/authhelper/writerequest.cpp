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
// chronyd reads a line in pieces of 2 KiB: the rest of a longer one is read
// as a line of its own.
constexpr int maxNewLineLength = 2000;

struct LogicalLine {
    int number; // of its first line, from 1
    int lines; // how many lines of the file it spans
    QByteArray text;
};

// The lines as the service reads them: openntpd joins a line ending in '\'
// to the next, but only when the newline follows the backslash directly,
// and reads the CR of a CR LF as part of the line.
QVector<LogicalLine> logicalLines(PackageIndex service, const QByteArray &bytes)
{
    QVector<LogicalLine> lines;
    const ConfigDocument document = ConfigDocument::fromBytes(bytes);
    bool continued = false;
    for (int i = 0; i < document.lineCount(); ++i) {
        const ConfigLine &line = document.lines.at(i);
        QByteArray text = line.text;
        const bool continues = service == OpenntpdPackage && line.eol == "\n" && text.endsWith('\\');
        if (continues) {
            text.chop(1);
        } else if (service == OpenntpdPackage && line.eol == "\r\n") {
            text += '\r';
        }
        if (continued) {
            lines.last().text += text;
            ++lines.last().lines;
        } else {
            lines.append({i + 1, 1, text});
        }
        continued = continues;
    }
    return lines;
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
    QSet<QByteArray> oldLines;
    for (const LogicalLine &line : logicalLines(service->index, oldContent)) {
        oldLines.insert(line.text);
    }
    for (const LogicalLine &line : logicalLines(service->index, content)) {
        if (oldLines.contains(line.text)) {
            continue;
        }
        if (line.text.size() > maxNewLineLength) {
            *error = FileError(FileError::LineTooLong, path, line.number);
            return false;
        }
        // The pages never write a line that goes on to the next.
        if (line.lines > 1 || !ConfigFormat::isEditableLine(service->index, line.text)) {
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
