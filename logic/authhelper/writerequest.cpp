// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "writerequest.h"

#include "../catalog/servicecatalog.h"
#include "../config/configformat.h"
#include "../config/safefile.h"

#include <QDir>
#include <QRegularExpression>

namespace WriteRequest
{
QVariantMap arguments(const QString &path, const QByteArray &content, const QByteArray &expectedHash)
{
    return {
        {QStringLiteral("path"), path},
        {QStringLiteral("content"), content},
        {QStringLiteral("expectedHash"), expectedHash},
    };
}

bool validate(const QString &path, const QByteArray &content, QString *error)
{
    // Exactly a catalog path: no other spelling of it, nothing near it.
    const ServiceDescription *service = ServiceCatalog::byConfigPath(path);
    if (!service) {
        *error = QStringLiteral("Refused: %1 is not the configuration file of a time service").arg(path);
        return false;
    }
    if (content.size() > maxContentSize) {
        *error = QStringLiteral("Refused: the content for %1 is larger than %2 bytes").arg(path).arg(maxContentSize);
        return false;
    }
    const QStringList problems = ConfigFormat::problems(service->index, content);
    if (!problems.isEmpty()) {
        *error = QStringLiteral("Refused: the content for %1 is not valid: %2").arg(path, problems.join(QStringLiteral("; ")));
        return false;
    }
    return true;
}

bool execute(const QVariantMap &arguments, const QString &root, QString *error)
{
    const QVariant path = arguments.value(QStringLiteral("path"));
    const QVariant content = arguments.value(QStringLiteral("content"));
    const QVariant expectedHash = arguments.value(QStringLiteral("expectedHash"));
    if (arguments.size() != 3 || path.userType() != QMetaType::QString || content.userType() != QMetaType::QByteArray
        || expectedHash.userType() != QMetaType::QByteArray) {
        *error = QStringLiteral("Refused: malformed request");
        return false;
    }
    static const QRegularExpression hexHash(QStringLiteral("^([0-9a-f]{64})?$"));
    if (!hexHash.match(QString::fromLatin1(expectedHash.toByteArray())).hasMatch()) {
        *error = QStringLiteral("Refused: malformed hash of the file's old content");
        return false;
    }
    const QString systemPath = path.toString();
    if (!validate(systemPath, content.toByteArray(), error)) {
        return false;
    }
    const QString target = root.isEmpty() || root == QLatin1String("/") ? systemPath : QDir::cleanPath(root + systemPath);
    return SafeFile::write(target, content.toByteArray(), expectedHash.toByteArray(), error);
}
}
