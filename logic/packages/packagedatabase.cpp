// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "packagedatabase.h"

#include "common/sysroot.h"
#include "zeladmintime_debug.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace PackageRelations
{
bool isInstalledStatus(const QByteArray &status)
{
    const QList<QByteArray> words = status.simplified().split(' ');
    if (words.size() != 3) {
        return false;
    }
    return (words[0] == "install" || words[0] == "hold") && words[1] == "ok" && words[2] == "installed";
}

static bool conflictsWith(const PackageRecord &a, const PackageRecord &b)
{
    for (const QByteArray &target : a.conflicts) {
        if (target == b.name || b.provides.contains(target)) {
            return true;
        }
    }
    return false;
}

bool conflict(const PackageRecord &a, const PackageRecord &b)
{
    if (a.name == b.name) {
        return false;
    }
    return conflictsWith(a, b) || conflictsWith(b, a);
}

static void addAll(QVector<QByteArray> &to, const QVector<QByteArray> &from)
{
    for (const QByteArray &name : from) {
        if (!to.contains(name)) {
            to.append(name);
        }
    }
}

void merge(PackageRecord &record, const Deb822::Paragraph &paragraph, bool fromStatusFile)
{
    if (fromStatusFile && isInstalledStatus(paragraph.value("status"))) {
        record.installed = true;
    }
    // Several versions may be known; any of them may be the one installed.
    addAll(record.provides, Deb822::relationNames(paragraph.value("provides")));
    addAll(record.conflicts, Deb822::relationNames(paragraph.value("conflicts")));
    addAll(record.replaces, Deb822::relationNames(paragraph.value("replaces")));
}
}

static const QVector<QByteArray> keptFields{"package", "status", "provides", "conflicts", "replaces"};

PackageDatabase::PackageDatabase(const QStringList &packageNames)
    : names(packageNames)
{
    for (const QString &name : packageNames) {
        PackageRecord record;
        record.name = name.toLatin1();
        records.insert(record.name, record);
    }
}

QVector<Deb822::Paragraph> PackageDatabase::parseFile(const QByteArray &text, const QString &fileName) const
{
    Deb822::Result result = Deb822::parse(text, keptFields);
    for (const Deb822::Error &error : qAsConst(result.errors)) {
        qCWarning(ZELADMINTIME_LOG).noquote() << QStringLiteral("%1:%2: corrupt package list: %3").arg(fileName).arg(error.line).arg(error.message);
    }
    QVector<Deb822::Paragraph> ours;
    for (Deb822::Paragraph &paragraph : result.paragraphs) {
        if (records.contains(paragraph.value("package"))) {
            ours.append(std::move(paragraph));
        }
    }
    return ours;
}

void PackageDatabase::mergeParagraphs(const QVector<Deb822::Paragraph> &paragraphs, bool fromStatusFile)
{
    for (const Deb822::Paragraph &paragraph : paragraphs) {
        auto it = records.find(paragraph.value("package"));
        if (it != records.end()) {
            PackageRelations::merge(*it, paragraph, fromStatusFile);
        }
    }
}

void PackageDatabase::loadStatus(const QByteArray &text, const QString &fileName)
{
    mergeParagraphs(parseFile(text, fileName), true);
}

void PackageDatabase::addAptList(const QByteArray &text, const QString &fileName)
{
    mergeParagraphs(parseFile(text, fileName), false);
}

void PackageDatabase::load()
{
    for (PackageRecord &record : records) {
        record = PackageRecord{record.name, false, {}, {}, {}};
    }

    const QString statusPath = SysRoot::path(QStringLiteral("/var/lib/dpkg/status"));
    QFile status(statusPath);
    if (status.open(QIODevice::ReadOnly)) {
        loadStatus(status.readAll(), statusPath);
    } else {
        qCWarning(ZELADMINTIME_LOG) << "cannot read the package status file" << statusPath << status.errorString();
    }

    const QDir lists(SysRoot::path(QStringLiteral("/var/lib/apt/lists")));
    const QFileInfoList files = lists.entryInfoList({QStringLiteral("*_Packages")}, QDir::Files | QDir::Readable);
    QHash<QString, CachedList> stillThere;
    for (const QFileInfo &info : files) {
        const QString path = info.absoluteFilePath();
        CachedList cached = listCache.value(path);
        if (cached.size != info.size() || cached.modified != info.lastModified()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                qCWarning(ZELADMINTIME_LOG) << "cannot read the package list" << path << file.errorString();
                continue;
            }
            cached.paragraphs = parseFile(file.readAll(), path);
            cached.size = info.size();
            cached.modified = info.lastModified();
        }
        mergeParagraphs(cached.paragraphs, false);
        stillThere.insert(path, cached);
    }
    listCache = stillThere;
}

bool PackageDatabase::isInstalled(const QString &package) const
{
    return records.value(package.toLatin1()).installed;
}

bool PackageDatabase::conflict(const QString &packageA, const QString &packageB) const
{
    return PackageRelations::conflict(record(packageA), record(packageB));
}

PackageRecord PackageDatabase::record(const QString &package) const
{
    const QByteArray name = package.toLatin1();
    return records.value(name, PackageRecord{name, false, {}, {}, {}});
}
