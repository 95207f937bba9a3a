// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/sourceorigins.h"

#include "catalog/servicecatalog.h"
#include "common/sysroot.h"
#include "config/safefile.h"
#include "syncstate/sourceparsers.h"

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

QStringList timesyncdServers(const QByteArray &text)
{
    QStringList ntp, fallback;
    bool inTime = false;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inTime = line == "[Time]";
            continue;
        }
        const int equals = line.indexOf('=');
        if (!inTime || equals < 0 || line.startsWith('#') || line.startsWith(';')) {
            continue;
        }
        const QByteArray key = line.left(equals).trimmed();
        if (key == "NTP" || key == "FallbackNTP") {
            // An empty assignment resets the list.
            (key == "NTP" ? ntp : fallback) = QString::fromUtf8(line.mid(equals + 1)).left(4096).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
    }
    return ntp + fallback;
}

QVector<SourceOrigin> timesyncd(const TimesyncdSources &p, const QString &root)
{
    // Where each name is written: the main file, then the drop-ins in
    // timesyncd's order (later ones win, so they are looked at first).
    const QString main = ServiceCatalog::byIndex(TimesyncdPackage).configPath;
    QVector<QPair<QString, QStringList>> files;
    QMap<QString, QString> dropIns;
    for (const char *folder : {"/etc/systemd/timesyncd.conf.d", "/run/systemd/timesyncd.conf.d", "/usr/local/lib/systemd/timesyncd.conf.d", "/usr/lib/systemd/timesyncd.conf.d"}) {
        const QString path = SysRoot::path(root, QLatin1String(folder));
        const QStringList names = QDir(path).entryList({QStringLiteral("*.conf")}, QDir::Files, QDir::Name);
        for (const QString &name : names) {
            if (!dropIns.contains(name)) {
                dropIns.insert(name, QLatin1String(folder) + QLatin1Char('/') + name);
            }
        }
    }
    for (auto it = dropIns.constEnd(); it != dropIns.constBegin();) {
        --it;
        files.append({it.value(), timesyncdServers(contents(SysRoot::path(root, it.value())))});
    }
    files.append({main, timesyncdServers(contents(SysRoot::path(root, main)))});

    QVector<SourceOrigin> origins;
    const struct {
        const QStringList &names;
        SourceOrigin::Kind kind;
    } lists[] = {{p.linkServers, SourceOrigin::Link},
                 {p.runtimeServers, SourceOrigin::Runtime},
                 {p.systemServers, SourceOrigin::System},
                 {p.fallbackServers, SourceOrigin::Fallback}};
    for (const auto &list : lists) {
        for (const QString &name : list.names) {
            SourceOrigin origin{name.left(255), list.kind, QString(), false};
            if (list.kind == SourceOrigin::System || list.kind == SourceOrigin::Fallback) {
                for (const auto &file : std::as_const(files)) {
                    if (file.second.contains(name)) {
                        origin.file = file.first;
                        origin.kind = file.first == main ? list.kind : SourceOrigin::DropIn;
                        break;
                    }
                }
            }
            origin.inUse = !p.serverName.isEmpty() && name == p.serverName;
            if (!find(origins, name, QString())) {
                origins.append(origin);
            }
        }
    }
    return origins;
}
}
