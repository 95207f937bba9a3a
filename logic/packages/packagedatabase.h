// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "packages/deb822.h"

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
// Appends the names of from that to lacks, in their order.
void addAll(QVector<QByteArray> &to, const QVector<QByteArray> &from);
// Adds a paragraph's relations to the record of its package.
void merge(PackageRecord &record, const Deb822::Paragraph &paragraph, bool fromStatusFile);
}

class PackageDatabase
{
public:
    // Only these packages are kept; the files are read under the system
    // root `root` (empty: the machine's own).
    PackageDatabase(const QStringList &packageNames, const QString &root);

    // Reads dpkg's status file. apt's lists (plain or
    // compressed) are big and matter only for what is not installed: they
    // are read when conflict() or record() first needs them. A file that
    // cannot be read or parsed is reported with qCWarning, and what it held
    // that was readable is still used.
    void load();
    // Reads the status file again when it changed on disk since it was read
    // (a package manager ran), and then the lists too when next needed.
    void refresh();
    // Same from texts already read; fileName only names them in messages.
    void loadStatus(const QByteArray &text, const QString &fileName);
    void addAptList(const QByteArray &text, const QString &fileName);

    bool isInstalled(const QString &package) const;
    bool conflict(const QString &packageA, const QString &packageB) const;
    PackageRecord record(const QString &package) const;

private:
    // Tells a file replaced or rewritten (dpkg renames a new status file in).
    struct Stamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Stamp &other) const;
    };
    static Stamp stampOf(const QString &path);

    void readStatusFile();
    void readLists() const;
    // The paragraphs of the packages asked for; the others are not parsed.
    QVector<Deb822::Paragraph> parseOurs(const QByteArray &text, const QString &fileName) const;
    static void mergeParagraphs(QHash<QByteArray, PackageRecord> &into, const QVector<Deb822::Paragraph> &paragraphs, bool fromStatusFile);

    struct CachedList {
        Stamp stamp;
        QVector<Deb822::Paragraph> paragraphs;
    };

    const QString m_root;
    // What the status file says and what the lists say, kept apart so that
    // each is read again on its own.
    QHash<QByteArray, PackageRecord> m_statusRecords;
    Stamp m_statusStamp;
    mutable QHash<QByteArray, PackageRecord> m_listRecords;
    mutable bool m_listsUnread = false;
    // apt's lists change rarely: parsed again only when changed. A list that
    // could not be read is not here, so the next reading tries it again.
    mutable QHash<QString, CachedList> m_listCache;
};
