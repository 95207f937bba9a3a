// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "deb822.h"

#include <QDateTime>
#include <QHash>
#include <QStringList>

// What dpkg and apt know about a set of packages.
struct PackageRecord {
    QByteArray name;
    bool installed = false;
    QVector<QByteArray> provides;
    QVector<QByteArray> conflicts;
    QVector<QByteArray> replaces;
};

namespace PackageRelations
{
// "install ok installed" (or held: "hold ok installed").
bool isInstalledStatus(const QByteArray &status);
// Installing one of the two removes the other: one conflicts with the
// other's name or with a virtual package the other provides.
bool conflict(const PackageRecord &a, const PackageRecord &b);
// Adds a paragraph's relations to the record of its package.
void merge(PackageRecord &record, const Deb822::Paragraph &paragraph, bool fromStatusFile);
}

class PackageDatabase
{
public:
    // Only these packages are kept.
    explicit PackageDatabase(const QStringList &packageNames);

    // Reads dpkg's status file and apt's lists (plain or compressed) below the
    // system root. A file
    // that cannot be read or parsed is reported with qCWarning, and what it
    // held that was readable is still used.
    void load();
    // Same from texts already read; fileName only names them in messages.
    void loadStatus(const QByteArray &text, const QString &fileName);
    void addAptList(const QByteArray &text, const QString &fileName);

    bool isInstalled(const QString &package) const;
    bool conflict(const QString &packageA, const QString &packageB) const;
    PackageRecord record(const QString &package) const;

private:
    QVector<Deb822::Paragraph> parseAptList(const QByteArray &text, const QString &fileName) const;
    QVector<Deb822::Paragraph> parseFile(const QByteArray &text, const QString &fileName) const;
    void mergeParagraphs(const QVector<Deb822::Paragraph> &paragraphs, bool fromStatusFile);

    struct CachedList {
        QDateTime modified;
        qint64 size = -1;
        QVector<Deb822::Paragraph> paragraphs;
    };

    const QStringList names;
    QHash<QByteArray, PackageRecord> records;
    // apt's lists are big and change rarely: parsed again only when changed.
    QHash<QString, CachedList> listCache;
};
