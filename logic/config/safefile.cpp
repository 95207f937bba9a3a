// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/safefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile
{
QByteArray hashOf(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

QByteArray Snapshot::hash() const
{
    return exists ? hashOf(content) : QByteArray();
}

static QString systemError(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

// Opens for reading without blocking on a FIFO or device, and refuses
// anything but a regular file: -2 then, -1 with errno set on other failures.
static int openRegular(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -2;
    }
    return fd;
}

static QString notRegular(const QString &path)
{
    return QStringLiteral("Refusing %1: it is not a regular file").arg(path);
}

bool read(const QString &path, Snapshot *snapshot, QString *error)
{
    *snapshot = Snapshot();
    const int fd = openRegular(QFile::encodeName(path));
    if (fd < 0) {
        if (fd == -1 && errno == ENOENT) {
            return true;
        }
        *error = fd == -2 ? notRegular(path) : QStringLiteral("Cannot read %1: %2").arg(path, systemError(errno));
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    snapshot->exists = true;
    snapshot->content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        *snapshot = Snapshot();
        return false;
    }
    return true;
}

// What is on disk now, as the hash a snapshot of it would have.
static bool currentHash(const QByteArray &path, QByteArray *hash, QString *error, const QString &shownPath)
{
    const int fd = openRegular(path);
    if (fd < 0) {
        if (fd == -1 && errno == ENOENT) {
            hash->clear();
            return true;
        }
        *error = fd == -2 ? notRegular(shownPath) : QStringLiteral("Cannot read %1: %2").arg(shownPath, systemError(errno));
        return false;
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = QStringLiteral("Cannot read %1: %2").arg(shownPath, systemError(errno));
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        sha.addData(QByteArray::fromRawData(buffer, int(n)));
    }
    ::close(fd);
    *hash = sha.result().toHex();
    return true;
}

static bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// A writer killed between writing and renaming leaves its new file behind.
// Only files of our own pattern and owner go, and only old ones: a young one
// may be another writer's at work.
static void removeLeftovers(const QByteArray &folder, const QByteArray &name)
{
    static constexpr time_t minimumAgeSeconds = 60;
    const QString pattern = QFile::decodeName("." + name + ".??????");
    const QStringList found = QDir(QFile::decodeName(folder)).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System);
    const time_t now = ::time(nullptr);
    for (const QString &entry : found) {
        const QByteArray path = folder + '/' + QFile::encodeName(entry);
        struct stat info;
        if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && now - info.st_mtime >= minimumAgeSeconds) {
            ::unlink(path.constData());
        }
    }
}

bool write(const QString &path,
           const QByteArray &content,
           const QByteArray &expectedHash,
           QString *error,
           const std::function<void(const QString &)> &beforeRename)
{
    QByteArray target = QFile::encodeName(path);
    struct stat info;
    if (::lstat(target.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(target.constData(), resolved)) {
            *error = QStringLiteral("Cannot write %1: it is a link to nowhere (%2)").arg(path, systemError(errno));
            return false;
        }
        target = QByteArray(resolved);
    }

    auto conflictCheck = [&]() {
        QByteArray hash;
        if (!currentHash(target, &hash, error, path)) {
            return false;
        }
        if (hash != expectedHash) {
            *error = QStringLiteral("Not writing %1: it was changed on disk after it was read").arg(path);
            return false;
        }
        return true;
    };
    if (!conflictCheck()) {
        return false;
    }

    mode_t mode = 0644;
    bool keepOwner = false;
    uid_t owner = 0;
    gid_t group = 0;
    if (::stat(target.constData(), &info) == 0) {
        mode = info.st_mode & 07777;
        owner = info.st_uid;
        group = info.st_gid;
        keepOwner = true;
    }

    const int slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArrayLiteral(".") : (slash == 0 ? QByteArrayLiteral("/") : target.left(slash));
    const QByteArray name = target.mid(slash + 1);
    removeLeftovers(folder, name);
    QByteArray temp = folder + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("Cannot write %1: no new file can be made in %2 (%3)").arg(path, QFile::decodeName(folder), systemError(errno));
        return false;
    }
    auto fail = [&](const QString &what) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temp.constData());
        *error = QStringLiteral("Cannot write %1: %2 (%3)").arg(path, what, systemError(saved));
        return false;
    };
    if (!writeAll(fd, content)) {
        return fail(QStringLiteral("writing the new file failed"));
    }
    if (::fchmod(fd, mode) != 0) {
        return fail(QStringLiteral("its mode cannot be kept"));
    }
    if (keepOwner && ::fchown(fd, owner, group) != 0) {
        return fail(QStringLiteral("its owner cannot be kept"));
    }
    if (::fsync(fd) != 0) {
        return fail(QStringLiteral("the new file cannot be flushed to disk"));
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.constData());
        *error = QStringLiteral("Cannot write %1: closing the new file failed (%2)").arg(path, systemError(saved));
        return false;
    }

    if (beforeRename) {
        beforeRename(QFile::decodeName(temp));
    }

    // Someone may have written the file while this one was being made.
    if (!conflictCheck()) {
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int saved = errno;
        ::unlink(temp.constData());
        *error = QStringLiteral("Cannot write %1: the new file cannot replace the old one (%2)").arg(path, systemError(saved));
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
}
