// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "packages/packagedatabase.h"

#include "common/programs.h"
#include "common/sysroot.h"
#include "zeladmintime_debug.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

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
    // Either list may be long: one pass over each.
    const QSet<QByteArray> provided(b.provides.cbegin(), b.provides.cend());
    for (const QByteArray &target : a.conflicts) {
        if (target == b.name || provided.contains(target)) {
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

void addAll(QVector<QByteArray> &to, const QVector<QByteArray> &from)
{
    if (from.isEmpty()) {
        return;
    }
    QSet<QByteArray> seen(to.cbegin(), to.cend());
    for (const QByteArray &name : from) {
        if (!seen.contains(name)) {
            seen.insert(name);
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

PackageDatabase::PackageDatabase(const QStringList &packageNames, const QString &root)
    : m_root(root)
{
    for (const QString &name : packageNames) {
        PackageRecord record;
        record.name = name.toLatin1();
        m_statusRecords.insert(record.name, record);
    }
    m_listRecords = m_statusRecords;
}

bool PackageDatabase::Stamp::operator==(const Stamp &other) const
{
    return device == other.device && inode == other.inode && size == other.size && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
}

PackageDatabase::Stamp PackageDatabase::stampOf(const QString &path)
{
    Stamp stamp;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        stamp.device = info.st_dev;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        stamp.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    }
    return stamp;
}

void PackageDatabase::mergeParagraphs(QHash<QByteArray, PackageRecord> &into, const QVector<Deb822::Paragraph> &paragraphs, bool fromStatusFile)
{
    for (const Deb822::Paragraph &paragraph : paragraphs) {
        auto it = into.find(paragraph.value("package"));
        if (it != into.end()) {
            PackageRelations::merge(*it, paragraph, fromStatusFile);
        }
    }
}

void PackageDatabase::loadStatus(const QByteArray &text, const QString &fileName)
{
    mergeParagraphs(m_statusRecords, parseOurs(text, fileName), true);
}

void PackageDatabase::addAptList(const QByteArray &text, const QString &fileName)
{
    mergeParagraphs(m_listRecords, parseOurs(text, fileName), false);
}

static int find(const QByteArray &text, const QByteArray &what, int from)
{
    // glibc's memmem is several times faster than QByteArray::indexOf here.
    const void *hit = memmem(text.constData() + from, size_t(text.size() - from), what.constData(), size_t(what.size()));
    return hit ? int(static_cast<const char *>(hit) - text.constData()) : -1;
}

QVector<Deb822::Paragraph> PackageDatabase::parseOurs(const QByteArray &text, const QString &fileName) const
{
    // The status file and the lists hold thousands of packages; only our few
    // paragraphs are parsed. One forward pass finds their "Package:" lines and
    // the empty line before each: nothing is scanned twice, however the text
    // is laid out.
    static const QByteArray packageLine("\nPackage: ");
    static const QByteArray emptyLine("\n\n");
    QVector<int> starts;
    int paragraphStart = 0;
    int nextEmpty = find(text, emptyLine, 0);
    // -1 stands for a "Package:" line at the very start.
    int at = text.startsWith("Package: ") ? -1 : find(text, packageLine, 0);
    while (at >= -1) {
        const int nameStart = at + packageLine.size();
        const char *newline = static_cast<const char *>(memchr(text.constData() + nameStart, '\n', size_t(text.size() - nameStart)));
        const int nameEnd = newline ? int(newline - text.constData()) : text.size();
        while (nextEmpty >= 0 && nextEmpty < at) {
            paragraphStart = nextEmpty + 2;
            nextEmpty = find(text, emptyLine, nextEmpty + 1);
        }
        // Two of ours in one stretch without an empty line are parsed once.
        if (m_statusRecords.contains(QByteArray::fromRawData(text.constData() + nameStart, nameEnd - nameStart).trimmed())
            && (starts.isEmpty() || starts.last() != paragraphStart)) {
            starts.append(paragraphStart);
        }
        at = find(text, packageLine, nameEnd);
        if (at < 0) {
            break;
        }
    }

    QVector<Deb822::Paragraph> ours;
    // Line numbers are counted only when there is something to report, and
    // then only from the last paragraph counted.
    int counted = 0;
    int linesBefore = 0;
    for (const int start : std::as_const(starts)) {
        int end = find(text, emptyLine, start);
        end = end < 0 ? text.size() : end + 1;
        Deb822::Result result = Deb822::parse(QByteArray::fromRawData(text.constData() + start, end - start), keptFields);
        if (!result.errors.isEmpty()) {
            linesBefore += int(std::count(text.constBegin() + counted, text.constBegin() + start, '\n'));
            counted = start;
        }
        for (const Deb822::Error &error : std::as_const(result.errors)) {
            qCWarning(ZELADMINTIME_LOG).noquote()
                << QStringLiteral("%1:%2: corrupt package list: %3").arg(fileName).arg(linesBefore + error.line).arg(error.message);
        }
        for (Deb822::Paragraph &paragraph : result.paragraphs) {
            if (m_statusRecords.contains(paragraph.value("package"))) {
                ours.append(std::move(paragraph));
            }
        }
    }
    return ours;
}

// apt-helper gets this long for a whole list; one that stalls is stopped.
static constexpr int listReadTimeoutMs = 10000;

// apt may keep its lists compressed (Acquire::GzipIndexes); apt-helper reads
// every format apt writes. False unless the whole list was read.
static bool readList(const QString &path, QByteArray &text)
{
    if (path.endsWith(QLatin1String("_Packages"))) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(ZELADMINTIME_LOG) << "cannot read the package list" << path << file.errorString();
            return false;
        }
        text = file.readAll();
        return true;
    }
    static const QString helper = Programs::aptHelper();
    if (!QFileInfo(helper).isExecutable()) {
        return false;
    }
    QProcess process;
    process.start(helper, {QStringLiteral("cat-file"), path}, QIODevice::ReadOnly);
    process.closeWriteChannel();
    text.clear();
    const QDeadlineTimer deadline(listReadTimeoutMs);
    if (process.waitForStarted(listReadTimeoutMs)) {
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            text += process.readAllStandardOutput();
        }
        text += process.readAllStandardOutput();
    }
    if (process.state() != QProcess::NotRunning) {
        // What came so far is only part of the list.
        process.kill();
        process.waitForFinished(1000);
        qCWarning(ZELADMINTIME_LOG) << "apt-helper did not finish reading the package list" << path << "within" << listReadTimeoutMs / 1000 << "s";
        return false;
    }
    if (process.error() == QProcess::FailedToStart || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qCWarning(ZELADMINTIME_LOG) << "cannot read the compressed package list" << path << process.errorString();
        return false;
    }
    return true;
}

void PackageDatabase::readStatusFile()
{
    for (PackageRecord &record : m_statusRecords) {
        record = PackageRecord{record.name, false, {}, {}, {}};
    }
    const QString statusPath = SysRoot::path(m_root, QStringLiteral("/var/lib/dpkg/status"));
    // Taken first: a change while reading is seen next time.
    m_statusStamp = stampOf(statusPath);
    QFile status(statusPath);
    if (status.open(QIODevice::ReadOnly)) {
        loadStatus(status.readAll(), statusPath);
    } else {
        qCWarning(ZELADMINTIME_LOG) << "cannot read the package status file" << statusPath << status.errorString();
    }
}

void PackageDatabase::load()
{
    readStatusFile();
    m_listsUnread = true;
}

void PackageDatabase::refresh()
{
    if (!(stampOf(SysRoot::path(m_root, QStringLiteral("/var/lib/dpkg/status"))) == m_statusStamp)) {
        readStatusFile();
        // apt may have fetched new lists as well.
        m_listsUnread = true;
    }
}

void PackageDatabase::readLists() const
{
    if (!m_listsUnread) {
        return;
    }
    m_listsUnread = false;
    for (PackageRecord &record : m_listRecords) {
        record = PackageRecord{record.name, false, {}, {}, {}};
    }
    const QDir lists(SysRoot::path(m_root, QStringLiteral("/var/lib/apt/lists")));
    const QFileInfoList files = lists.entryInfoList({QStringLiteral("*_Packages"),
                                                     QStringLiteral("*_Packages.lz4"),
                                                     QStringLiteral("*_Packages.gz"),
                                                     QStringLiteral("*_Packages.xz"),
                                                     QStringLiteral("*_Packages.zst"),
                                                     QStringLiteral("*_Packages.bz2")},
                                                    QDir::Files | QDir::Readable);
    QHash<QString, CachedList> stillThere;
    for (const QFileInfo &info : files) {
        const QString path = info.absoluteFilePath();
        CachedList cached = m_listCache.value(path);
        const Stamp stamp = stampOf(path);
        if (!(cached.stamp == stamp)) {
            QByteArray text;
            if (!readList(path, text)) {
                continue; // unknown until the next reading
            }
            cached.paragraphs = parseOurs(text, path);
            cached.stamp = stamp;
        }
        mergeParagraphs(m_listRecords, cached.paragraphs, false);
        stillThere.insert(path, cached);
    }
    m_listCache = stillThere;
}

bool PackageDatabase::isInstalled(const QString &package) const
{
    return m_statusRecords.value(package.toLatin1()).installed;
}

bool PackageDatabase::conflict(const QString &packageA, const QString &packageB) const
{
    return PackageRelations::conflict(record(packageA), record(packageB));
}

PackageRecord PackageDatabase::record(const QString &package) const
{
    readLists();
    const QByteArray name = package.toLatin1();
    // Several versions may be known; any of them may be the one installed.
    PackageRecord merged = m_statusRecords.value(name, PackageRecord{name, false, {}, {}, {}});
    const PackageRecord listed = m_listRecords.value(name);
    PackageRelations::addAll(merged.provides, listed.provides);
    PackageRelations::addAll(merged.conflicts, listed.conflicts);
    PackageRelations::addAll(merged.replaces, listed.replaces);
    return merged;
}
