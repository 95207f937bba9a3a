// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/safefile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

namespace
{
// A file descriptor closed when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        reset();
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    int get() const
    {
        return m_fd;
    }

private:
    int m_fd;
};

// The folder that holds the file a path leads to, and the file's name in it.
struct Location {
    Fd folder;
    QByteArray name;
};

// Whether the folder open as `folder` lies in the root open as `root`:
// walks up by ".." to either of them or to the top.
bool isBeneath(int folder, int root)
{
    struct stat top;
    if (::fstat(root, &top) != 0) {
        return false;
    }
    Fd here(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    for (int depth = 0; depth < 4096 && here.get() >= 0; ++depth) {
        struct stat info;
        if (::fstat(here.get(), &info) != 0) {
            return false;
        }
        if (info.st_dev == top.st_dev && info.st_ino == top.st_ino) {
            return true;
        }
        Fd up(::openat(here.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat parent;
        if (up.get() < 0 || ::fstat(up.get(), &parent) != 0 || (parent.st_dev == info.st_dev && parent.st_ino == info.st_ino)) {
            return false; // the top of the machine: outside
        }
        here.reset(::fcntl(up.get(), F_DUPFD_CLOEXEC, 0));
    }
    return false;
}

// Opens the folder `relative` names under `root` with every link resolved
// inside the root. Without openat2 (older kernels, some sandboxes) the folder
// is opened as usual and refused with EXDEV when it lies outside the root.
int openFolderInRoot(int root, const QByteArray &relative)
{
    const QByteArray path = relative.isEmpty() ? QByteArrayLiteral(".") : relative;
    struct open_how how = {};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, root, path.constData(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
        return int(fd);
    }
    Fd folder(::openat(root, path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        return -1;
    }
    if (!isBeneath(folder.get(), root)) {
        errno = EXDEV;
        return -1;
    }
    return ::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0);
}

FileError systemFailure(FileError::Kind kind, const QString &path, int code, const char *step = nullptr)
{
    if (code == EXDEV) {
        return FileError(FileError::LeavesRoot, path);
    }
    return FileError(kind, path, code, step ? QLatin1String(step) : QString());
}

// Finds where `path` leads under `root`: links at the path are followed as
// the daemon inside the root would follow them.
bool locate(const QString &root, const QString &path, Location *where, FileError *error, FileError::Kind kind)
{
    static constexpr int maxLinks = 40; // as the kernel allows
    const QByteArray rootPath = root.isEmpty() ? QByteArrayLiteral("/") : QFile::encodeName(root);
    const Fd rootFd(::open(rootPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (rootFd.get() < 0) {
        *error = systemFailure(kind, path, errno);
        return false;
    }
    QByteArray current = QFile::encodeName(path);
    for (int links = 0; links <= maxLinks; ++links) {
        const int slash = current.lastIndexOf('/');
        const QByteArray folder = current.left(slash + 1);
        where->name = current.mid(slash + 1);
        if (where->name.isEmpty() || where->name == "." || where->name == "..") {
            *error = FileError(FileError::NotRegularFile, path);
            return false;
        }
        QByteArray relative = folder;
        while (relative.startsWith('/')) {
            relative.remove(0, 1);
        }
        where->folder.reset(openFolderInRoot(rootFd.get(), relative));
        if (where->folder.get() < 0) {
            *error = systemFailure(kind, path, errno);
            return false;
        }
        struct stat info;
        if (::fstatat(where->folder.get(), where->name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                return true; // a file yet to be made
            }
            *error = systemFailure(kind, path, errno);
            return false;
        }
        if (!S_ISLNK(info.st_mode)) {
            return true;
        }
        QByteArray target(4096, '\0');
        const ssize_t length = ::readlinkat(where->folder.get(), where->name.constData(), target.data(), size_t(target.size()));
        if (length <= 0 || length >= target.size()) {
            *error = systemFailure(kind, path, length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        target.truncate(int(length));
        current = target.startsWith('/') ? target : folder + target;
    }
    *error = systemFailure(kind, path, ELOOP);
    return false;
}

// Opens the located file for reading without blocking on a FIFO or device,
// and refuses anything but a regular file: -2 then, -1 with errno set on
// other failures.
int openRegular(const Location &where, qint64 *size = nullptr)
{
    const int fd = ::openat(where.folder.get(), where.name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -2;
    }
    if (size) {
        *size = info.st_size;
    }
    return fd;
}

// What is on disk now, as the hash a snapshot of it would have.
bool currentHash(const Location &where, QByteArray *hash, FileError *error, const QString &path)
{
    const Fd fd(openRegular(where));
    if (fd.get() < 0) {
        if (fd.get() == -1 && errno == ENOENT) {
            hash->clear();
            return true;
        }
        *error = fd.get() == -2 ? FileError(FileError::NotRegularFile, path) : systemFailure(FileError::ReadFailed, path, errno);
        return false;
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = systemFailure(FileError::ReadFailed, path, errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        sha.addData(QByteArray::fromRawData(buffer, int(n)));
    }
    *hash = sha.result().toHex();
    return true;
}

bool writeAll(int fd, const QByteArray &content)
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
void removeLeftovers(const Location &where)
{
    static constexpr time_t minimumAgeSeconds = 60;
    const QByteArray prefix = "." + where.name + ".";
    DIR *dir = ::fdopendir(::fcntl(where.folder.get(), F_DUPFD_CLOEXEC, 0));
    if (!dir) {
        return;
    }
    ::rewinddir(dir);
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        struct stat info;
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix) && ::fstatat(where.folder.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && now - info.st_mtime >= minimumAgeSeconds) {
            ::unlinkat(where.folder.get(), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

// A new file of our own in the folder: ".<name>.XXXXXX".
int makeTemporary(const Location &where, QByteArray *tempName)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *tempName = "." + where.name + ".";
        for (int i = 0; i < 6; ++i) {
            *tempName += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        }
        const int fd = ::openat(where.folder.get(), tempName->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}
}

bool read(const QString &root, const QString &path, Snapshot *snapshot, FileError *error)
{
    *snapshot = Snapshot();
    Location where;
    if (!locate(root, path, &where, error, FileError::ReadFailed)) {
        // No folder for it either: still just a file that does not exist.
        if (error->kind == FileError::ReadFailed && error->code == ENOENT) {
            *error = FileError();
            return true;
        }
        return false;
    }
    qint64 size = 0;
    const int fd = openRegular(where, &size);
    if (fd < 0) {
        if (fd == -1 && errno == ENOENT) {
            return true;
        }
        *error = fd == -2 ? FileError(FileError::NotRegularFile, path) : systemFailure(FileError::ReadFailed, path, errno);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = systemFailure(FileError::ReadFailed, path, EIO);
        return false;
    }
    // A file that grows while it is read is caught by its length.
    const QByteArray content = size > maxSize ? QByteArray() : file.read(maxSize + 1);
    if (size > maxSize || content.size() > maxSize) {
        *error = FileError(FileError::TooLarge, path, maxSize);
        snapshot->tooLarge = true;
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = systemFailure(FileError::ReadFailed, path, EIO);
        return false;
    }
    snapshot->exists = true;
    snapshot->content = content;
    return true;
}

bool write(const QString &root,
           const QString &path,
           const QByteArray &content,
           const QByteArray &expectedHash,
           FileError *error,
           const std::function<void()> &beforeRename)
{
    Location where;
    if (!locate(root, path, &where, error, FileError::WriteFailed)) {
        return false;
    }
    auto conflictCheck = [&]() {
        QByteArray hash;
        if (!currentHash(where, &hash, error, path)) {
            return false;
        }
        if (hash != expectedHash) {
            *error = FileError(FileError::ChangedOnDisk, path);
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
    struct stat info;
    if (::fstatat(where.folder.get(), where.name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        mode = info.st_mode & 07777;
        owner = info.st_uid;
        group = info.st_gid;
        keepOwner = true;
    }

    removeLeftovers(where);
    QByteArray temp;
    const int fd = makeTemporary(where, &temp);
    if (fd < 0) {
        *error = systemFailure(FileError::WriteFailed, path, errno, "no new file can be made in its folder");
        return false;
    }
    auto fail = [&](const char *step) {
        const int saved = errno;
        ::close(fd);
        ::unlinkat(where.folder.get(), temp.constData(), 0);
        *error = systemFailure(FileError::WriteFailed, path, saved, step);
        return false;
    };
    if (!writeAll(fd, content)) {
        return fail("writing the new file failed");
    }
    if (::fchmod(fd, mode) != 0) {
        return fail("its mode cannot be kept");
    }
    if (keepOwner && ::fchown(fd, owner, group) != 0) {
        return fail("its owner cannot be kept");
    }
    if (::fsync(fd) != 0) {
        return fail("the new file cannot be flushed to disk");
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlinkat(where.folder.get(), temp.constData(), 0);
        *error = systemFailure(FileError::WriteFailed, path, saved, "closing the new file failed");
        return false;
    }

    if (beforeRename) {
        beforeRename();
    }

    // Someone may have written the file while this one was being made.
    if (!conflictCheck()) {
        ::unlinkat(where.folder.get(), temp.constData(), 0);
        return false;
    }
    if (::renameat(where.folder.get(), temp.constData(), where.folder.get(), where.name.constData()) != 0) {
        const int saved = errno;
        ::unlinkat(where.folder.get(), temp.constData(), 0);
        *error = systemFailure(FileError::WriteFailed, path, saved, "the new file cannot replace the old one");
        return false;
    }
    // The rename itself reaches the disk with the folder.
    ::fsync(where.folder.get());
    return true;
}
}
