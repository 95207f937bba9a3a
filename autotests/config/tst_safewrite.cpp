// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// Replacing a configuration file: whatever fails, the old file stays whole;
// and the helper's checks of what it is asked to write.

#include "confighelpers.h"

#include "directiveconfig.h"
#include "logictypes.h"
#include "safefile.h"
#include "timesyncdconfig.h"
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

// Changes to the stock Debian files, made as the settings pages and the main
// settings dialog make them or by hand, sent as the library sends them.
void SafeWriteTest::change_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("stock");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("mentions"); // empty: accepted
    struct File {
        const char *package;
        const char *path;
    };
    // In the catalog's order.
    const File files[] = {{"systemd-timesyncd", "/etc/systemd/timesyncd.conf"},
                          {"chrony", "/etc/chrony/chrony.conf"},
                          {"ntpsec", "/etc/ntpsec/ntp.conf"},
                          {"openntpd", "/etc/openntpd/ntpd.conf"}};
    auto stockOf = [&](PackageIndex service) {
        return ConfigTest::stockFile(QLatin1String(files[service].package), QLatin1String(files[service].path));
    };
    auto row = [&](const char *name, PackageIndex service, const QByteArray &content, const char *mentions = "") {
        QTest::newRow(name) << QString::fromLatin1(files[service].path) << stockOf(service) << content << QString::fromLatin1(mentions);
    };
    auto edited = [&](PackageIndex service, const std::function<void(DirectiveSettings &)> &edit) {
        const DirectiveFormat format = service == NtpsecPackage ? DirectiveFormat::Ntpsec
            : service == OpenntpdPackage                        ? DirectiveFormat::Openntpd
                                                                : DirectiveFormat::Chrony;
        const DirectiveConfig config = DirectiveConfig::parse(format, stockOf(service));
        DirectiveSettings settings = config.settings();
        edit(settings);
        return config.render(settings);
    };
    auto server = [](const char *directive, const char *host) {
        Config::ServerEntry entry;
        entry.directive = QLatin1String(directive);
        entry.host = QLatin1String(host);
        entry.iburst = entry.prefer = entry.trusted = true;
        entry.minpoll = 4;
        entry.maxpoll = 8;
        entry.weight = 5;
        return entry;
    };
    // Every kind of edit the pages and the dialog make; the dialog may drop
    // any directive, which leaves the service its built-in default.
    row("chrony pages", ChronyPackage, edited(ChronyPackage, [&](DirectiveSettings &s) {
            s.servers = {server("server", "192.0.2.1"), server("pool", "pool.example.org")};
            s.servers.last().nts = true;
            s.makestep = !s.makestep;
            s.rtcsync = !s.rtcsync;
            for (Config::DirectiveEntry &other : s.others) {
                other.value = other.key == QLatin1String("maxupdateskew") ? QStringLiteral("50") : other.value;
            }
            s.others.erase(std::remove_if(s.others.begin(),
                                          s.others.end(),
                                          [](const Config::DirectiveEntry &e) {
                                              return e.key == QLatin1String("logdir") || e.key == QLatin1String("sourcedir");
                                          }),
                           s.others.end());
            s.others.append({QStringLiteral("maxdistance"), QStringLiteral("3"), -1});
        }));
    row("ntpsec pages", NtpsecPackage, edited(NtpsecPackage, [&](DirectiveSettings &s) {
            s.servers = {server("server", "2001:db8::1")};
            s.others.first().value = s.others.first().key == QLatin1String("driftfile") ? s.others.first().value : QString();
            s.others.append({QStringLiteral("tos"), QStringLiteral("maxclock 7"), -1});
            s.others.append({QStringLiteral("restrict"), QStringLiteral("192.0.2.0 mask 255.255.255.0 nomodify"), -1});
        }));
    row("openntpd pages", OpenntpdPackage, edited(OpenntpdPackage, [&](DirectiveSettings &s) {
            s.servers.append(server("server", "ntp.example.org"));
            s.servers.removeFirst();
            s.others.append({QStringLiteral("constraints"), QStringLiteral("from \"https://www.example.org/\""), -1});
        }));
    const TimesyncdConfig timesyncd = TimesyncdConfig::parse(stockOf(TimesyncdPackage));
    TimesyncdSettings t = timesyncd.settings();
    t.ntp = QStringList{QStringLiteral("192.0.2.1"), QStringLiteral("ntp.example.org")};
    t.fallbackNtp = QStringList{QStringLiteral("pool.example.org")};
    t.pollIntervalMinSec = Config::DurationValue::fromSeconds(64);
    t.others.append({QStringLiteral("ConnectionRetrySec"), QStringLiteral("40"), -1});
    row("timesyncd pages", TimesyncdPackage, timesyncd.render(t));

    // Nothing that names a file, folder, device, socket, program, user or
    // more configuration may be added or changed.
    const QByteArray chrony = stockOf(ChronyPackage);
    auto replaced = [](QByteArray text, const char *from, const char *to) {
        return text.replace(from, to);
    };
    row("pidfile", ChronyPackage, chrony + "pidfile /etc/shadow\n", "pidfile /etc/shadow");
    row("pidfile in capitals", ChronyPackage, chrony + "PIDFILE /etc/shadow\n", "PIDFILE");
    row("vertical tab", ChronyPackage, chrony + "pidfile\v/etc/shadow\n", "pidfile");
    row("include", ChronyPackage, chrony + "include /home/user/*.conf\n", "include");
    row("confdir", ChronyPackage, replaced(chrony, "confdir /etc/chrony/conf.d", "confdir /home/user"), "confdir /home/user");
    row("sourcedir", ChronyPackage, replaced(chrony, "sourcedir /run/chrony-dhcp", "sourcedir /tmp"), "sourcedir");
    row("logdir", ChronyPackage, replaced(chrony, "logdir /var/log/chrony", "logdir /etc"), "logdir /etc");
    row("driftfile", ChronyPackage, replaced(chrony, "/var/lib/chrony/chrony.drift", "/etc/passwd"), "driftfile");
    row("keyfile", ChronyPackage, replaced(chrony, "/etc/chrony/chrony.keys", "/home/user/keys"), "keyfile");
    row("ntsdumpdir", ChronyPackage, replaced(chrony, "ntsdumpdir /var/lib/chrony", "ntsdumpdir /etc"), "ntsdumpdir");
    for (const char *line : {"dumpdir /etc\n",
                             "bindcmdaddress /tmp/chronyd.sock\n",
                             "ntsserverkey /home/user/key.pem\n",
                             "ntsservercert /home/user/cert.pem\n",
                             "refclock SOCK /tmp/refclock.sock\n",
                             "user root\n",
                             "mailonchange root@example.org 0.5\n",
                             "leapsectz ../../../etc/shadow\n",
                             "tempcomp /etc/shadow 30 0 0 0 0\n",
                             "rtcfile /etc/shadow\n"}) {
        QTest::newRow(line) << QStringLiteral("/etc/chrony/chrony.conf") << chrony << QByteArray(chrony + line)
                            << QString::fromLatin1(line).section(QLatin1Char(' '), 0, 0);
    }
    // chronyd would read what follows the first 2 KiB as a line of its own.
    row("long comment", ChronyPackage, chrony + "# " + QByteArray(2100, 'x') + " pidfile /etc/shadow\n", "longer");
    const QByteArray ntpsec = stockOf(NtpsecPackage);
    row("ntpsec logfile", NtpsecPackage, ntpsec + "logfile /etc/shadow\n", "logfile");
    row("ntpsec includefile", NtpsecPackage, ntpsec + "includefile /home/user/ntp.conf\n", "includefile");
    row("ntpsec statsdir", NtpsecPackage, ntpsec + "statsdir /etc/\n", "statsdir");
    row("ntpsec keys", NtpsecPackage, ntpsec + "keys /home/user/keys\n", "keys");
    row("ntpsec filegen", NtpsecPackage, ntpsec + "filegen peerstats file /etc/shadow\n", "filegen");
    row("ntpsec nts cert", NtpsecPackage, ntpsec + "nts enable cert /home/user/cert.pem\n", "nts enable");
    row("ntpsec server ca", NtpsecPackage, ntpsec + "server ntp.example.org nts ca /home/user/ca\n", "ca /home/user");
    row("ntpsec driftfile", NtpsecPackage, replaced(ntpsec, "/var/lib/ntpsec/ntp.drift", "/etc/shadow"), "driftfile");
    row("ntpsec leapfile", NtpsecPackage, replaced(ntpsec, "leapfile /usr", "leapfile /home/user"), "leapfile");
    const QByteArray openntpd = stockOf(OpenntpdPackage);
    row("openntpd sensor", OpenntpdPackage, openntpd + "sensor /dev/sda\n", "sensor");
    row("openntpd listen", OpenntpdPackage, replaced(openntpd, "#listen on *", "listen on *"), "listen on");
    // openntpd joins a line ending in a backslash to the next.
    row("openntpd continued", OpenntpdPackage, openntpd + "sen\\\nsor /dev/sda\n", "sensor");
    row("timesyncd include", TimesyncdPackage, stockOf(TimesyncdPackage) + ".include /home/user/evil.conf\n", ".include");
}

void SafeWriteTest::change()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, stock);
    QFETCH(QByteArray, content);
    QFETCH(QString, mentions);
    const QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QFileInfo(root.path() + path).path()));
    ConfigTest::writeFile(root.path() + path, stock);
    QString error;
    const bool written = WriteRequest::execute(WriteRequest::arguments(path, content, SafeFile::hashOf(stock)), root.path(), &error);
    QCOMPARE(ConfigTest::readFile(root.path() + path), written ? content : stock);
    QVERIFY2(written == mentions.isEmpty(), qPrintable(error));
    QVERIFY2(written || (error.startsWith(QLatin1String("Refused: line")) && error.contains(mentions)), qPrintable(error));
    // The library refuses it before asking for a password.
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
