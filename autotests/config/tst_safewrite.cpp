// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Replacing a configuration file: whatever fails, the old file stays whole;
// and the helper's checks of what it is asked to write.

#include "confighelpers.h"

#include "authhelper/writerequest.h"
#include "catalog/servicecatalog.h"
#include "config/safefile.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using ConfigTest::readFile;
using ConfigTest::writeFile;

static const QByteArray oldContent("server old.example iburst\n");
static const QByteArray newContent("server new.example iburst\n");

static QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Runs `child` in a forked process and returns its wait status.
template<typename Child>
static int inChild(Child child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(child());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class SafeWriteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fresh(const char *name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        writeFile(path, content);
        return path;
    }

private Q_SLOTS:
    void cleanup()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    // Through a symbolic link, the file it points to, with its mode and owner.
    void replacesKeepingModeAndOwner()
    {
        const QString path = fresh("real.conf", oldContent);
        const QByteArray file = QFile::encodeName(path);
        QVERIFY(QFile::link(path, m_dir.filePath(QStringLiteral("link.conf"))));
        const bool root = geteuid() == 0;
        QVERIFY(chmod(file.constData(), 0640) == 0 && (!root || chown(file.constData(), 1234, 5678) == 0));
        struct stat before, after;
        QCOMPARE(stat(file.constData(), &before), 0);
        QString error;
        QVERIFY2(SafeFile::write(m_dir.filePath(QStringLiteral("link.conf")), newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error));
        QCOMPARE(readFile(path), newContent);
        QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("link.conf"))).isSymLink());
        QCOMPARE(stat(file.constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, mode_t(0640));
        QVERIFY(!root || (after.st_uid == 1234 && after.st_gid == 5678));
        QVERIFY(after.st_ino != before.st_ino); // a new file took its place
        QCOMPARE(leftovers(m_dir.path()), (QStringList{QStringLiteral("link.conf"), QStringLiteral("real.conf")}));
    }

    void createsMissingFileOnlyWhenExpected()
    {
        const QString path = m_dir.filePath(QStringLiteral("new.conf"));
        SafeFile::Snapshot snapshot;
        QString error;
        QVERIFY(SafeFile::read(path, &snapshot, &error) && !snapshot.exists && snapshot.hash().isEmpty());
        QVERIFY2(SafeFile::write(path, newContent, snapshot.hash(), &error), qPrintable(error));
        QCOMPARE(QFileInfo(path).permissions() & (QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther), QFile::ReadOther);
        // It exists now: a writer that saw no file must not replace it.
        QVERIFY(!SafeFile::write(path, oldContent, QByteArray(), &error) && error.contains(path));
        QCOMPARE(readFile(path), newContent);
    }

    void refusesFileChangedOnDisk()
    {
        const QString path = fresh("changed.conf", oldContent);
        const QByteArray theirs("server xyz.example iburst\n"); // the same size
        writeFile(path, theirs);
        QString error;
        QVERIFY(!SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error));
        QVERIFY2(error.contains(path) && error.contains(QLatin1String("changed on disk")), qPrintable(error));
        QCOMPARE(readFile(path), theirs);
        // Changed while the new file was being made: still refused.
        writeFile(path, oldContent);
        QVERIFY(!SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error, [&](const QString &) {
            writeFile(path, theirs);
        }));
        QCOMPARE(readFile(path), theirs);
        QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("changed.conf")});
    }

    // Root writes through file permissions: the folder is a read-only mount,
    // made in a private mount namespace of a child process.
    void readOnlyFolderLeavesOldFile()
    {
        if (geteuid() != 0) {
            QSKIP("a read-only mount needs root");
        }
        const QString mountPoint = m_dir.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(mountPoint));
        const QString path = mountPoint + QStringLiteral("/chrony.conf");
        const int status = inChild([&] {
            const QByteArray mp = QFile::encodeName(mountPoint);
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount("tmpfs", mp.constData(), "tmpfs", 0, "size=64k") != 0) {
                return 10;
            }
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(oldContent) != oldContent.size()) {
                return 11;
            }
            file.close();
            if (mount(nullptr, mp.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
                return 12;
            }
            QString error;
            const bool written = SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error);
            return written ? 20 : !error.contains(path) ? 21 : readFile(path) != oldContent ? 22 : leftovers(mountPoint).size() != 1 ? 23 : 0;
        });
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void killBeforeRenameLeavesOldFile()
    {
        const QString path = fresh("killed.conf", oldContent);
        const int status = inChild([&] {
            QString error;
            SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error, [](const QString &) {
                raise(SIGKILL);
            });
            return 1;
        });
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QCOMPARE(readFile(path), oldContent);
        const QString temp = leftovers(m_dir.path()).filter(QStringLiteral(".killed.conf.")).value(0);
        QVERIFY(!temp.isEmpty());
        // An hour later the next write goes through and takes the leftover away.
        const struct utimbuf hourAgo = {time(nullptr) - 3600, time(nullptr) - 3600};
        QCOMPARE(utime(QFile::encodeName(m_dir.filePath(temp)).constData(), &hourAgo), 0);
        QString error;
        QVERIFY2(SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error));
        QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("killed.conf")});
    }

    // Refused at once: opening a FIFO for good would wait for a writer.
    void refusesFifo()
    {
        const QString path = m_dir.filePath(QStringLiteral("fifo.conf"));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        SafeFile::Snapshot snapshot;
        QString error;
        QVERIFY(!SafeFile::read(path, &snapshot, &error) && !SafeFile::write(path, newContent, QByteArray(), &error));
        QVERIFY2(error.contains(path), qPrintable(error));
    }

    // What the helper takes, sent as the library sends it, against the stock
    // Debian files: the pages' and the dialog's changes are written; a path
    // not ours, a malformed name, or a line that adds or changes a file,
    // folder, device, socket, program, user or more configuration is refused.
    // {file (a package's), text replaced ("" appends), new text, part of the refusal ("" when written)}
    void request_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("stock");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("mentions");
        static const char *const changes[][4] = {
            {"chrony", "pool 2.debian.pool.ntp.org iburst", "server 192.0.2.1 iburst prefer minpoll 4 maxpoll 8\npool ntp.example.org nts", ""},
            {"chrony", "makestep 1 3", "makestep 0.5 -1\nmaxdistance 3", ""},
            {"chrony", "rtcsync\n", "", ""},
            {"ntpsec", "tos maxclock 11", "tos maxclock 7\nserver -4 2001:db8::1 iburst prefer minpoll 6", ""},
            {"openntpd", "servers 0.debian.pool.ntp.org", "server ntp.example.org weight 5 trusted\nconstraints from \"https://www.example.org/\"", ""},
            {"systemd-timesyncd", "#NTP=", "NTP=192.0.2.1 ntp.example.org\nFallbackNTP=pool.example.org\nPollIntervalMinSec=64", ""},
            {"chrony", "", "server bad_name.example", "bad_name.example"},
            {"chrony", "", "pool", "without an address"},
            {"systemd-timesyncd", "", "NTP=a.example ;rm", ";rm"},
            {"openntpd", "", "servers \"a b\"", "a b"},
            {"chrony", "", "pidfile /etc/shadow", "pidfile /etc/shadow"},
            {"chrony", "", "PIDFILE\v/etc/shadow", "PIDFILE"},
            {"chrony", "", "include /home/user/*.conf", "include"},
            {"chrony", "confdir /etc/chrony/conf.d", "confdir /home/user", "confdir /home/user"},
            {"chrony", "logdir /var/log/chrony", "logdir /etc", "logdir /etc"},
            {"chrony", "/var/lib/chrony/chrony.drift", "/etc/passwd", "driftfile"},
            {"chrony", "", "bindcmdaddress /tmp/chronyd.sock", "bindcmdaddress"},
            {"chrony", "", "refclock SOCK /tmp/refclock.sock", "refclock"},
            {"chrony", "", "user root", "user"},
            {"ntpsec", "", "logfile /etc/shadow", "logfile"},
            {"ntpsec", "", "includefile /home/user/ntp.conf", "includefile"},
            {"ntpsec", "", "server ntp.example.org nts ca /home/user/ca", "ca /home/user"},
            {"openntpd", "", "sensor /dev/sda", "sensor"},
            {"openntpd", "", "sen\\\nsor /dev/sda", "sensor"}, // openntpd joins a line ending in '\'
            {"systemd-timesyncd", "", ".include /home/user/evil.conf", ".include"},
        };
        for (const auto &change : changes) {
            const QString path = ServiceCatalog::byPackageName(QLatin1String(change[0]))->configPath;
            const QByteArray stock = ConfigTest::stockFile(QLatin1String(change[0]), path);
            QByteArray content = stock;
            *change[1] ? content.replace(change[1], change[2]) : content.append(QByteArray(change[2]) + '\n');
            QTest::newRow(change[2]) << path << stock << content << QString::fromLatin1(change[3]);
        }
        const QByteArray chrony = ConfigTest::stockFile(QStringLiteral("chrony"), QStringLiteral("/etc/chrony/chrony.conf"));
        const QString chronyPath = QStringLiteral("/etc/chrony/chrony.conf");
        // chronyd would read what follows its first 2 KiB as a line of its own.
        QTest::newRow("long line") << chronyPath << chrony << chrony + "# " + QByteArray(2100, 'x') + " pidfile /x\n" << QStringLiteral("longer");
        QTest::newRow("too large") << chronyPath << chrony << chrony + "# " + QByteArray(WriteRequest::maxContentSize, 'x') << QStringLiteral("larger");
        QTest::newRow("nul byte") << chronyPath << chrony << chrony + QByteArray("rtcsync\n\0", 9) << QStringLiteral("Refused");
        for (const char *path : {"/etc/passwd", "/etc/chrony/../chrony/chrony.conf", "/etc/chrony//chrony.conf", "/etc/chrony/chrony.conf/", ""}) {
            QTest::newRow(path) << QString::fromLatin1(path) << chrony << chrony + "rtcsync\n" << QStringLiteral("Refused");
        }
    }
    void request()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, stock);
        QFETCH(QByteArray, content);
        QFETCH(QString, mentions);
        const QTemporaryDir root;
        const QString file = root.path() + (path.isEmpty() ? QStringLiteral("/etc/chrony/chrony.conf") : QDir::cleanPath(path));
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        writeFile(file, stock);
        QString error;
        const bool written = WriteRequest::execute(WriteRequest::arguments(path, content, SafeFile::hashOf(stock)), root.path(), &error);
        QCOMPARE(readFile(file), written ? content : stock);
        QVERIFY2(written == mentions.isEmpty() && (written || (error.startsWith(QLatin1String("Refused")) && error.contains(mentions))), qPrintable(error));
        // The library refuses the same before asking for a password.
        QString early;
        QCOMPARE(WriteRequest::validate(path, content, &early) && WriteRequest::keepsGuardedLines(path, stock, content, &early), written);
    }

    void malformedRequestArguments()
    {
        const QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("etc/openntpd")));
        writeFile(root.path() + QStringLiteral("/etc/openntpd/ntpd.conf"), oldContent);
        const QVariantMap args = WriteRequest::arguments(QStringLiteral("/etc/openntpd/ntpd.conf"), newContent, SafeFile::hashOf(oldContent));
        auto with = [&](const char *key, const QVariant &value) {
            QVariantMap changed = args;
            changed[QLatin1String(key)] = value;
            return changed;
        };
        for (const QVariantMap &bad : {with("content", QString::fromLatin1(newContent)),
                                       with("mode", 0777),
                                       with("expectedHash", SafeFile::hashOf("other")),
                                       with("expectedHash", QByteArray("not-a-hash")),
                                       with("expectedHash", SafeFile::hashOf(oldContent).toUpper()),
                                       with("expectedHash", QByteArray(SafeFile::hashOf(oldContent) + '\n')),
                                       with("notAfter", QDateTime::currentMSecsSinceEpoch() - 1),
                                       with("notAfter", QStringLiteral("1")),
                                       QVariantMap()}) {
            QString error;
            QVERIFY2(!WriteRequest::execute(bad, root.path(), &error) && !error.isEmpty(), qPrintable(error));
        }
        QCOMPARE(readFile(root.path() + QStringLiteral("/etc/openntpd/ntpd.conf")), oldContent);
        QString error;
        QVERIFY2(WriteRequest::execute(args, root.path(), &error), qPrintable(error));
        QCOMPARE(readFile(root.path() + QStringLiteral("/etc/openntpd/ntpd.conf")), newContent);
    }
};

QTEST_GUILESS_MAIN(SafeWriteTest)

#include "tst_safewrite.moc"
