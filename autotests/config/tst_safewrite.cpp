// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Replacing a configuration file: whatever fails, the old file stays whole;
// and the helper's checks of what it is asked to write.

#include "confighelpers.h"

#include "catalog/servicecatalog.h"
#include "safefile.h"
#include "writerequest.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace
{
QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Runs `child` in a forked process and returns its wait status.
template<typename Child>
int inChild(Child child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(child());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

const QByteArray oldContent("server old.example iburst\n");
const QByteArray newContent("server new.example iburst\n");
}

class SafeWriteTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replacesAndKeepsModeAndOwner();
    void createsMissingFileOnlyWhenExpected();
    void refusesFileChangedOnDisk();
    void readOnlyFolderLeavesOldFile();
    void killBeforeRenameLeavesOldFile();
    void refusesFifo();
    void writesThroughSymlink();
    void request_data();
    void request();
    void malformedRequestArguments();
    void change_data();
    void change();
    void requestExecutesUnderRoot();

private:
    QTemporaryDir m_dir;
};

void SafeWriteTest::replacesAndKeepsModeAndOwner()
{
    if (geteuid() != 0) {
        QSKIP("changing a file's owner needs root");
    }
    const QString path = m_dir.filePath(QStringLiteral("owned.conf"));
    ConfigTest::writeFile(path, oldContent);
    QCOMPARE(chmod(QFile::encodeName(path).constData(), 0640), 0);
    QCOMPARE(chown(QFile::encodeName(path).constData(), 1234, 5678), 0);
    struct stat before;
    QCOMPARE(stat(QFile::encodeName(path).constData(), &before), 0);

    QString error;
    QVERIFY2(SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error));
    QCOMPARE(ConfigTest::readFile(path), newContent);
    struct stat after;
    QCOMPARE(stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QCOMPARE(after.st_uid, uid_t(1234));
    QCOMPARE(after.st_gid, gid_t(5678));
    // A new file took the old one's place, nothing else is left behind.
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("owned.conf")});
    QFile::remove(path);
}

void SafeWriteTest::createsMissingFileOnlyWhenExpected()
{
    const QString path = m_dir.filePath(QStringLiteral("new.conf"));
    QString error;
    SafeFile::Snapshot snapshot;
    QVERIFY(SafeFile::read(path, &snapshot, &error));
    QVERIFY(!snapshot.exists);
    QVERIFY(snapshot.hash().isEmpty());
    QVERIFY2(SafeFile::write(path, newContent, snapshot.hash(), &error), qPrintable(error));
    QCOMPARE(ConfigTest::readFile(path), newContent);
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    // It exists now: a writer that saw no file must not replace it.
    QVERIFY(!SafeFile::write(path, oldContent, QByteArray(), &error));
    QVERIFY(error.contains(path));
    QCOMPARE(ConfigTest::readFile(path), newContent);
    QFile::remove(path);
}

void SafeWriteTest::refusesFileChangedOnDisk()
{
    const QString path = m_dir.filePath(QStringLiteral("changed.conf"));
    ConfigTest::writeFile(path, oldContent);
    SafeFile::Snapshot snapshot;
    QString error;
    QVERIFY(SafeFile::read(path, &snapshot, &error));
    QCOMPARE(snapshot.content, oldContent);

    // Someone else edits the file meanwhile, keeping its size.
    const QByteArray theirs("server xyz.example iburst\n");
    QCOMPARE(theirs.size(), oldContent.size());
    ConfigTest::writeFile(path, theirs);
    QVERIFY(!SafeFile::write(path, newContent, snapshot.hash(), &error));
    QVERIFY2(error.contains(path) && error.contains(QLatin1String("changed on disk")), qPrintable(error));
    QCOMPARE(ConfigTest::readFile(path), theirs);

    // Changed while the new file was being made: still refused.
    ConfigTest::writeFile(path, oldContent);
    SafeFile::setBeforeRenameHook([&](const QString &) {
        ConfigTest::writeFile(path, theirs);
    });
    QVERIFY(!SafeFile::write(path, newContent, snapshot.hash(), &error));
    SafeFile::setBeforeRenameHook(nullptr);
    QCOMPARE(ConfigTest::readFile(path), theirs);
    QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("changed.conf")});
    QFile::remove(path);
}

void SafeWriteTest::readOnlyFolderLeavesOldFile()
{
    if (geteuid() != 0) {
        QSKIP("a read-only mount needs root");
    }
    const QString mountPoint = m_dir.filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkpath(mountPoint));
    const QString path = mountPoint + QStringLiteral("/chrony.conf");
    // Root writes through file permissions, so the folder is a read-only
    // mount, made in a private mount namespace of a child process.
    const int status = inChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return 10;
        }
        const QByteArray mp = QFile::encodeName(mountPoint);
        if (mount("tmpfs", mp.constData(), "tmpfs", 0, "size=64k") != 0) {
            return 11;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(oldContent) != oldContent.size()) {
            return 12;
        }
        file.close();
        if (mount(nullptr, mp.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            return 13;
        }
        QString error;
        if (SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error)) {
            return 20;
        }
        if (!error.contains(path)) {
            return 21;
        }
        if (ConfigTest::readFile(path) != oldContent) {
            return 22;
        }
        if (leftovers(mountPoint) != QStringList{QStringLiteral("chrony.conf")}) {
            return 23;
        }
        return 0;
    });
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void SafeWriteTest::killBeforeRenameLeavesOldFile()
{
    const QString path = m_dir.filePath(QStringLiteral("killed.conf"));
    ConfigTest::writeFile(path, oldContent);
    const int status = inChild([&] {
        SafeFile::setBeforeRenameHook([](const QString &) {
            raise(SIGKILL);
        });
        QString error;
        SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error);
        return 1; // never reached
    });
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGKILL);
    QCOMPARE(ConfigTest::readFile(path), oldContent);

    // The new file was complete when the writer died; it never took the
    // old one's place.
    const QStringList files = leftovers(m_dir.path());
    QCOMPARE(files.size(), 2);
    const QString temp = files.filter(QStringLiteral(".killed.conf.")).value(0);
    QVERIFY(!temp.isEmpty());
    QCOMPARE(ConfigTest::readFile(m_dir.filePath(temp)), newContent);

    // The next write goes through and takes away the old leftover.
    const QByteArray tempPath = QFile::encodeName(m_dir.filePath(temp));
    const struct utimbuf hourAgo = {time(nullptr) - 3600, time(nullptr) - 3600};
    QCOMPARE(utime(tempPath.constData(), &hourAgo), 0);
    QString error;
    QVERIFY2(SafeFile::write(path, newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error));
    QCOMPARE(ConfigTest::readFile(path), newContent);
    QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("killed.conf")});
    QFile::remove(path);
}

// Refused at once: opening a FIFO for good would wait for a writer.
void SafeWriteTest::refusesFifo()
{
    const QString path = m_dir.filePath(QStringLiteral("fifo.conf"));
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    SafeFile::Snapshot snapshot;
    QString error;
    QVERIFY(!SafeFile::read(path, &snapshot, &error) && !SafeFile::write(path, newContent, QByteArray(), &error));
    QVERIFY2(error.contains(path), qPrintable(error));
    QFile::remove(path);
}

void SafeWriteTest::writesThroughSymlink()
{
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("real"))));
    const QString target = m_dir.filePath(QStringLiteral("real/ntp.conf"));
    const QString link = m_dir.filePath(QStringLiteral("ntp.conf"));
    ConfigTest::writeFile(target, oldContent);
    QVERIFY(QFile::link(target, link));
    QString error;
    QVERIFY2(SafeFile::write(link, newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ConfigTest::readFile(target), newContent);
    QFile::remove(link);
    QFile::remove(target);
}

// What the helper accepts to write, and where; `mentions` is a part of the refusal.
void SafeWriteTest::request_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("mentions");
    const QByteArray good("server ntp.example.org iburst\n");
    QByteArray huge("# ");
    huge += QByteArray(WriteRequest::maxContentSize, 'x');
    auto row = [](const char *name, const char *path, const QByteArray &content, bool accepted, const char *mentions = "") {
        QTest::newRow(name) << QString::fromLatin1(path) << content << accepted << QString::fromLatin1(mentions);
    };
    const char *chrony = "/etc/chrony/chrony.conf";
    row("chrony", chrony, good, true);
    // Each file is checked with its own format.
    row("ntpsec options", "/etc/ntpsec/ntp.conf", "server -4 ntp.example.org iburst # x\n", true);
    row("timesyncd addresses", "/etc/systemd/timesyncd.conf", "[Time]\nNTP=192.0.2.1 2001:db8::1\n", true);
    row("other file", "/etc/passwd", good, false, "/etc/passwd");
    row("dot-dot", "/etc/chrony/../chrony/chrony.conf", good, false);
    row("double slash", "/etc/chrony//chrony.conf", good, false);
    row("trailing slash", "/etc/chrony/chrony.conf/", good, false);
    row("no path", "", good, false);
    row("bad host", chrony, "server bad_name.example\n", false, "bad_name.example");
    row("no host", chrony, "pool\n", false);
    row("nul byte", chrony, QByteArray("rtcsync\n\0", 9), false);
    row("timesyncd shell", "/etc/systemd/timesyncd.conf", "[Time]\nNTP=a.example ;rm\n", false);
    row("openntpd blank", "/etc/openntpd/ntpd.conf", "servers \"a b\"\n", false);
    row("too large", chrony, huge, false, "larger");
}

void SafeWriteTest::request()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFETCH(bool, accepted);
    QFETCH(QString, mentions);
    QString error;
    QCOMPARE(WriteRequest::validate(path, content, &error), accepted);
    if (!accepted) {
        QVERIFY2(error.startsWith(QLatin1String("Refused")) && error.contains(mentions), qPrintable(error));
    }
}

void SafeWriteTest::malformedRequestArguments()
{
    const QTemporaryDir root;
    const QVariantMap args = WriteRequest::arguments(QStringLiteral("/etc/chrony/chrony.conf"), "server a.example\n", QByteArray());
    auto with = [&](const char *key, const QVariant &value) {
        QVariantMap changed = args;
        changed[QLatin1String(key)] = value;
        return changed;
    };
    for (const QVariantMap &bad : {with("content", QStringLiteral("server a.example\n")),
                                   with("mode", 0777),
                                   with("expectedHash", QByteArray("not-a-hash")),
                                   with("expectedHash", QByteArray(64, 'A')),
                                   with("expectedHash", QByteArray(QByteArray(64, 'a') + '\n')),
                                   with("notAfter", QDateTime::currentMSecsSinceEpoch() - 1),
                                   with("notAfter", QStringLiteral("1")),
                                   QVariantMap()}) {
        QString error;
        QVERIFY(!WriteRequest::execute(bad, root.path(), &error));
        QVERIFY2(error.startsWith(QLatin1String("Refused")), qPrintable(error));
    }
    QVERIFY(QDir(root.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// Changes to the stock Debian files, sent as the library sends them: those
// the settings pages and the main settings dialog make are written; none
// may add or change a line that names a file, folder, device, socket,
// program, user or more configuration. {package, text replaced ("" appends
// a line), new text, part of the refusal ("" when written)}
void SafeWriteTest::change_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("stock");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("mentions");
    static const char *const changes[][4] = {
        {"chrony", "pool 2.debian.pool.ntp.org iburst", "server 192.0.2.1 iburst prefer minpoll 4 maxpoll 8\npool ntp.example.org nts", ""},
        {"chrony", "makestep 1 3", "makestep 0.5 -1\nmaxdistance 3", ""},
        {"chrony", "leapsectz right/UTC\n", "", ""}, // the dialog may drop any line
        {"chrony", "rtcsync\n", "", ""},
        {"ntpsec", "tos maxclock 11", "tos maxclock 7\nserver -4 2001:db8::1 iburst prefer minpoll 6", ""},
        {"openntpd", "servers 0.debian.pool.ntp.org", "server ntp.example.org weight 5 trusted\nconstraints from \"https://www.example.org/\"", ""},
        {"systemd-timesyncd", "#NTP=", "NTP=192.0.2.1 ntp.example.org\nFallbackNTP=pool.example.org\nPollIntervalMinSec=64\nConnectionRetrySec=40", ""},
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
    // chronyd would read what follows its first 2 KiB as a line of its own.
    const QByteArray chrony = ConfigTest::stockFile(QStringLiteral("chrony"), QStringLiteral("/etc/chrony/chrony.conf"));
    QTest::newRow("long") << QStringLiteral("/etc/chrony/chrony.conf") << chrony << chrony + "# " + QByteArray(2100, 'x') + " pidfile /x\n"
                          << QStringLiteral("longer");
}

void SafeWriteTest::change()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, stock);
    QFETCH(QByteArray, content);
    QFETCH(QString, mentions);
    QVERIFY(content != stock);
    const QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QFileInfo(root.path() + path).path()));
    ConfigTest::writeFile(root.path() + path, stock);
    QString error;
    const bool written = WriteRequest::execute(WriteRequest::arguments(path, content, SafeFile::hashOf(stock)), root.path(), &error);
    QCOMPARE(ConfigTest::readFile(root.path() + path), written ? content : stock);
    QVERIFY2(written == mentions.isEmpty() && (written || (error.startsWith(QLatin1String("Refused: line")) && error.contains(mentions))), qPrintable(error));
    // The library refuses the same before asking for a password.
    QCOMPARE(WriteRequest::keepsGuardedLines(path, stock, content, &error), written);
}

void SafeWriteTest::requestExecutesUnderRoot()
{
    const QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("etc/openntpd")));
    const QString file = root.path() + QStringLiteral("/etc/openntpd/ntpd.conf");
    ConfigTest::writeFile(file, "servers 0.debian.pool.ntp.org\n");
    const QByteArray oldHash = SafeFile::hashOf("servers 0.debian.pool.ntp.org\n");
    QString error;

    // Stale hash: refused, file kept.
    QVariantMap args = WriteRequest::arguments(QStringLiteral("/etc/openntpd/ntpd.conf"), "server a.example\n", SafeFile::hashOf("other"));
    QVERIFY(!WriteRequest::execute(args, root.path(), &error));
    QVERIFY(error.contains(QLatin1String("/etc/openntpd/ntpd.conf")));
    QCOMPARE(ConfigTest::readFile(file), QByteArray("servers 0.debian.pool.ntp.org\n"));

    args = WriteRequest::arguments(QStringLiteral("/etc/openntpd/ntpd.conf"), "server a.example\n", oldHash);
    QVERIFY2(WriteRequest::execute(args, root.path(), &error), qPrintable(error));
    QCOMPARE(ConfigTest::readFile(file), QByteArray("server a.example\n"));
}

QTEST_GUILESS_MAIN(SafeWriteTest)

#include "tst_safewrite.moc"
