// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/sourceorigins.h"

#include "catalog/servicecatalog.h"
#include "common/sysroot.h"
#include "config/safefile.h"

#include <QDir>
#include <QFile>

namespace SourceOrigins
{
QVector<SourceOrigin> parse(PackageIndex service, const QByteArray &text, const QString &file, SourceOrigin::Kind kind, QStringList *included)
{
    QVector<SourceOrigin> origins;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() < 2 || words.first().startsWith('#')) {
            continue;
        }
        const QByteArray directive = words.first().toLower();
        const QString value = QString::fromUtf8(words.at(1)).left(255);
        if (directive == "server" || directive == "pool" || directive == "peer") {
            origins.append({value, kind, file, false});
        } else if (included && (service == ChronyPackage ? directive == "sourcedir" || directive == "confdir" : directive == "includefile")) {
            included->append(QString::fromUtf8(directive + ' ') + value);
        }
    }
    return origins;
}

static QString onDisk(const QString &root, const QString &path)
{
    // The sandbox's file names its folders under its root already.
    return !root.isEmpty() && path.startsWith(root + QLatin1Char('/')) ? path : SysRoot::path(root, path);
}

static QString asNamed(const QString &root, const QString &path)
{
    return !root.isEmpty() && path.startsWith(root + QLatin1Char('/')) ? path.mid(root.size()) : path;
}

static QByteArray contents(const QString &path)
{
    QFile file(path);
    // Configuration, not data: a bigger file is not read.
    return file.open(QIODevice::ReadOnly) && file.size() <= SafeFile::maxSize ? file.readAll() : QByteArray();
}

QVector<SourceOrigin> read(PackageIndex service, const QString &root)
{
    if (service != ChronyPackage && service != NtpsecPackage) {
        return {};
    }
    const QString main = ServiceCatalog::byIndex(service).configPath;
    QStringList included;
    QVector<SourceOrigin> origins = parse(service, contents(SysRoot::path(root, main)), main, SourceOrigin::MainFile, &included);
    for (const QString &entry : std::as_const(included)) {
        const QString directive = entry.section(QLatin1Char(' '), 0, 0);
        const QString path = onDisk(root, entry.section(QLatin1Char(' '), 1));
        if (directive == QLatin1String("includefile")) {
            origins += parse(service, contents(path), asNamed(root, path), SourceOrigin::DropIn, nullptr);
            continue;
        }
        // chronyd reads them in the order of their names.
        const bool sources = directive == QLatin1String("sourcedir");
        const QStringList names = QDir(path).entryList({sources ? QStringLiteral("*.sources") : QStringLiteral("*.conf")}, QDir::Files, QDir::Name);
        // NetworkManager's dispatcher writes the DHCP servers under /run.
        const SourceOrigin::Kind kind = sources && asNamed(root, path).startsWith(QLatin1String("/run/")) ? SourceOrigin::Dhcp : SourceOrigin::DropIn;
        for (const QString &name : names) {
            const QString file = path + QLatin1Char('/') + name;
            origins += parse(service, contents(file), asNamed(root, file), kind, nullptr);
        }
    }
    return origins;
}

const SourceOrigin *find(const QVector<SourceOrigin> &origins, const QString &address, const QString &name)
{
    for (const SourceOrigin &origin : origins) {
        if ((!address.isEmpty() && origin.host == address) || (!name.isEmpty() && origin.host == name)) {
            return &origin;
        }
    }
    return nullptr;
}
}
