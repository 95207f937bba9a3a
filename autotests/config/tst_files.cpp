// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The configuration models keep what is not edited byte for byte and edit as
// golden/<case>.out shows (ZEL_UPDATE_GOLDEN=1 rewrites those: review them);
// a replaced file is the old one whole or the new one; the helper's checks.

#include "testhelpers.h"

#include "authhelper/writerequest.h"
#include "catalog/servicecatalog.h"
#include "config/configformat.h"
#include "config/directiveconfig.h"
#include "config/safefile.h"
#include "config/timesyncdconfig.h"
#include "settingspages/servicesettings.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using TestHelpers::readFile;
using TestHelpers::writeFile;

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

using Edit = std::function<void(TimesyncdSettings &, DirectiveSettings &)>;
Q_DECLARE_METATYPE(Edit)

static const QStringList formats{QStringLiteral("systemd-timesyncd"), QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")};

static QByteArray render(
    PackageIndex service,
    const QByteArray &bytes,
    const Edit &edit = [](TimesyncdSettings &, DirectiveSettings &) {},
    DirectiveSettings *edited = nullptr)
{
    const TimesyncdConfig timesyncd = TimesyncdConfig::parse(bytes);
    const DirectiveConfig directives = DirectiveConfig::parse(DirectiveFormat(qMax(0, service - 1)), bytes);
    TimesyncdSettings t = timesyncd.settings();
    DirectiveSettings d = directives.settings();
    edit(t, d);
    if (edited) {
        *edited = d;
    }
    return service == TimesyncdPackage ? timesyncd.render(t) : directives.render(d);
}

static void setOther(QVector<Config::DirectiveEntry> &others, const char *key, const char *value)
{
    for (int i = 0; i < others.size(); ++i) {
        if (others[i].key == QLatin1String(key)) {
            *value ? void(others[i].value = QLatin1String(value)) : others.removeAt(i);
            return;
        }
    }
    others.append({QLatin1String(key), QLatin1String(value), -1});
}

class FilesTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fresh(const char *name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(QLatin1String(name));
        QDir().mkpath(QFileInfo(path).path());
        writeFile(path, content);
        return path;
    }

private Q_SLOTS:
    // Any file comes back unchanged; its problems are its malformed server
    // names. {bytes, format, whether it has none}
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("service");
        QTest::addColumn<bool>("valid");
        for (const QString &package : formats) {
            const ServiceDescription *service = ServiceCatalog::byPackageName(package);
            QTest::newRow(qPrintable(package)) << TestHelpers::stockFile(package, service->configPath) << int(service->index) << true;
        }
        QTest::newRow("addresses") << QByteArray("server 192.0.2.1\npool 2001:db8::1\nserver ntp.example.org.\n") << 1 << true;
        QTest::newRow("underscore") << QByteArray("[Time]\nNTP=good.example bad_name.example\n") << 0 << false;
        QTest::newRow("option") << QByteArray("[Time]\nFallbackNTP=-oProxyCommand=x\n") << 0 << false;
        QTest::newRow("octet") << QByteArray("server 999.1.1.1 iburst\n") << 1 << false;
        QTest::newRow("no address") << QByteArray("pool\n") << 1 << false;
        QTest::newRow("family only") << QByteArray("server -4\n") << 2 << false;
        QTest::newRow("empty label") << QByteArray("pool a..example\n") << 2 << false;
        QTest::newRow("blank") << QByteArray("servers \"a example\"\n") << 3 << false;
        QTest::newRow("nul") << QByteArray("server a.example\n\0\n", 19) << 1 << false;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, service);
        QCOMPARE(render(PackageIndex(service), bytes), bytes);
        QTEST(ConfigFormat::problems(PackageIndex(service), bytes).isEmpty(), "valid");
    }

    // {case, format, input (golden/<name>.in, or "stock"), edit}
    void edits_data()
    {
        QTest::addColumn<int>("service");
        QTest::addColumn<QString>("input");
        QTest::addColumn<Edit>("edit");
        auto row = [](const char *name, PackageIndex service, const char *input, Edit edit) {
            QTest::newRow(name) << int(service) << QString::fromLatin1(input) << edit;
        };
        row("timesyncd-stock", TimesyncdPackage, "stock", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.ntp = QStringList{QStringLiteral("ntp1.example.org"), QStringLiteral("192.0.2.1")};
            t.pollIntervalMinSec = Config::DurationValue::fromSeconds(64);
            setOther(t.others, "SaveIntervalSec", "120");
        });
        row("timesyncd-lists", TimesyncdPackage, "timesyncd-lists", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.ntp.removeFirst(); // repeated assignments collapse into the last
            t.pollIntervalMaxSec = Config::DurationValue::fromSeconds(4096);
            t.pollIntervalMinSec = Config::DurationValue::fromSeconds(16);
            t.rootDistanceMaxSec = Config::DurationValue();
        });
        row("timesyncd-no-section", TimesyncdPackage, "timesyncd-no-section", [](TimesyncdSettings &t, DirectiveSettings &) {
            t.fallbackNtp = QStringList{QStringLiteral("a.example")};
        });
        row("chrony-stock", ChronyPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].iburst = d.rtcsync = false;
            d.makestepThreshold = 0.5;
            d.makestepLimit = -1;
            setOther(d.others, "maxupdateskew", "50.0");
            setOther(d.others, "logdir", "");
            setOther(d.others, "log", "tracking");
        });
        row("chrony-servers", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].host = QStringLiteral("d.example"); // options it does not know stay
            d.servers[0].minpoll = 6;
            d.servers[0].maxpoll = Config::NoValue;
            d.servers[0].prefer = d.servers[0].nts = true;
            d.servers[2].directive = QStringLiteral("pool");
            d.servers[2].iburst = false;
            d.servers.removeAt(1);
            d.servers.append(Config::ServerEntry{QStringLiteral("pool"), QStringLiteral("pool.example.net")});
            d.servers.last().maxpoll = 10;
            d.makestep = d.rtcsync = true; // below the commented-out form
            d.makestepThreshold = 10;
            d.makestepLimit = 2;
        });
        row("chrony-move", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.move(2, 0);
        });
        row("chrony-replace-all", ChronyPackage, "chrony-servers", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers = {Config::ServerEntry{QStringLiteral("pool"), QStringLiteral("pool.example.net")}};
        });
        row("chrony-no-server", ChronyPackage, "chrony-no-server", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers = {Config::ServerEntry{QStringLiteral("server"), QStringLiteral("a.example")}};
        });
        row("chrony-crlf", ChronyPackage, "chrony-crlf", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.append(Config::ServerEntry{QStringLiteral("server"), QStringLiteral("b.example")});
            d.makestep = true;
        });
        row("chrony-makestep-twice", ChronyPackage, "chrony-makestep-twice", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.makestepThreshold = 0.5; // the last line, which chronyd uses, keeps having no newline
            d.makestepLimit = 5;
        });
        row("ntpsec-odd", NtpsecPackage, "ntpsec-odd", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].host = QStringLiteral("b.example"); // after the family
            d.servers[1].minpoll = 6; // its number was missing
            d.servers[2].iburst = false; // not the key's
            d.servers[3].minpoll = 7; // the last, which counts
        });
        row("ntpsec-stock", NtpsecPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[1].host = QStringLiteral("ntp.example.org");
            d.servers[1].prefer = true;
        });
        row("ntpsec-family", NtpsecPackage, "ntpsec-family", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].iburst = false;
            d.servers[0].minpoll = 5;
        });
        row("ntpsec-unclosed", NtpsecPackage, "ntpsec-unclosed", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].iburst = true; // not inside the unclosed quote
            d.servers[1].iburst = false;
            d.servers[1].minpoll = 5;
            d.servers[2].host = QStringLiteral("e.example"); // closed with the address
            d.servers[2].iburst = true;
        });
        row("openntpd-stock", OpenntpdPackage, "stock", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers.removeAt(2);
            d.servers[0].weight = 5;
            d.servers[0].trusted = true;
        });
        row("openntpd-quotes", OpenntpdPackage, "openntpd-quotes", [](TimesyncdSettings &, DirectiveSettings &d) {
            d.servers[0].host = QStringLiteral("b.example");
            d.servers[0].weight = Config::NoValue;
        });
    }
    void edits()
    {
        QFETCH(int, service);
        QFETCH(QString, input);
        QFETCH(Edit, edit);
        // The stock files' edits are the release's own (ZEL_STOCK_GOLDEN_DIR).
        const QString goldenDir = input == QLatin1String("stock") ? qEnvironmentVariable("ZEL_STOCK_GOLDEN_DIR", QStringLiteral(ZEL_GOLDEN_DIR)) : QStringLiteral(ZEL_GOLDEN_DIR);
        const QString golden = goldenDir + QLatin1Char('/') + QString::fromLatin1(QTest::currentDataTag());
        const QByteArray bytes = input == QLatin1String("stock")
            ? TestHelpers::stockFile(formats[service], ServiceCatalog::byIndex(PackageIndex(service)).configPath)
            : readFile(QStringLiteral(ZEL_GOLDEN_DIR "/") + input + QStringLiteral(".in"));
        DirectiveSettings wanted;
        const QByteArray out = render(PackageIndex(service), bytes, edit, &wanted);
        if (qEnvironmentVariableIsSet("ZEL_UPDATE_GOLDEN")) {
            writeFile(golden + QStringLiteral(".out"), out);
        }
        QCOMPARE(out, readFile(golden + QStringLiteral(".out")));
        if (service == ChronyPackage) {
            // Read again, the step chronyd uses is the one set.
            const DirectiveSettings again = DirectiveConfig::parse(DirectiveFormat::Chrony, out).settings();
            QCOMPARE(again.makestep, wanted.makestep);
            QCOMPARE(again.makestepThreshold, wanted.makestepThreshold);
            QCOMPARE(again.makestepLimit, wanted.makestepLimit);
        }
    }

    void readingAndRefusing()
    {
        // An empty assignment empties the list; keys outside [Time] are not timesyncd's.
        QCOMPARE(ConfigFormat::serverNames(TimesyncdPackage, "[Time]\nNTP=a.example\nNTP=\nNTP=b.example\n[Other]\nNTP=c.example\n"),
                 QStringList{QStringLiteral("b.example")});
        // chrony reads keywords without regard to case; another option's argument is no flag.
        QCOMPARE(ConfigFormat::serverNames(ChronyPackage, "SERVER a.example certset iburst\n"), QStringList{QStringLiteral("a.example")});
        QVERIFY(!DirectiveConfig::parse(DirectiveFormat::Chrony, "server a.example certset iburst\n").settings().servers[0].iburst);
        // Whole seconds only (-1: not understood).
        for (const auto &duration : QList<QPair<const char *, qint64>>{{"32", 32}, {" 2min 8s ", 128}, {"1h", 3600}, {"1500ms", -1}, {"soon", -1}, {"", -1}}) {
            qint64 seconds = -1;
            QCOMPARE(TimesyncdConfig::parseDuration(QString::fromLatin1(duration.first), &seconds) ? seconds : -1, duration.second);
        }
        // What the settings dialog may add: no second directive smuggled in.
        QVERIFY(!DirectiveConfig::isValidKey(QStringLiteral("two words")));
        QVERIFY(!DirectiveConfig::isValidKey(QStringLiteral("pidfile\n")));
        QVERIFY(!TimesyncdConfig::isValidKey(QStringLiteral("NTP\n")));
    }

    // Every keyword of each daemon (keywords/*.txt, from its manual and its
    // binary): what the pages and the dialog write (keywords/written.txt) is
    // taken; any other keyword is refused with a path, a number, a word or
    // nothing, in any case, as a directive or as a server option, and so is
    // a path for what they write.
    void refusesWhatThePagesDoNotWrite()
    {
        QHash<QByteArray, QList<QByteArray>> written;
        for (const QByteArray &line : readFile(QStringLiteral(ZEL_KEYWORDS_DIR "/written.txt")).split('\n')) {
            if (!line.isEmpty() && !line.startsWith('#')) {
                written[line.left(line.indexOf(' '))].append(line.mid(line.indexOf(' ') + 1));
            }
        }
        for (const QByteArray &package : {QByteArray("chrony"), QByteArray("ntpsec"), QByteArray("openntpd"), QByteArray("systemd-timesyncd")}) {
            const QString path = ServiceCatalog::byPackageName(QLatin1String(package))->configPath;
            const QByteArray stock = TestHelpers::stockFile(QLatin1String(package), path);
            const char assign = package == "systemd-timesyncd" ? '=' : ' ';
            auto takes = [&](const QByteArray &line) {
                FileError error;
                return WriteRequest::keepsGuardedLines(path, stock, stock + line + '\n', &error);
            };
            QSet<QByteArray> allowed;
            for (const QByteArray &line : written.value(package)) {
                QVERIFY2(takes(line), line.constData());
                const QByteArray keyword = line.split(assign).constFirst();
                allowed.insert(keyword);
                QVERIFY2(!takes(keyword + assign + "/etc/x"), line.constData());
            }
            for (const QByteArray &entry : readFile(QStringLiteral(ZEL_KEYWORDS_DIR "/") + QLatin1String(package) + QStringLiteral(".txt")).split('\n')) {
                const QList<QByteArray> words = entry.split(' ');
                const QByteArray keyword = words.constFirst();
                if (keyword.isEmpty() || keyword.startsWith('#')) {
                    continue;
                }
                const QByteArray example = words.mid(words.value(1) == "path" ? 2 : 1).join(' ');
                for (const QByteArray &value : {QByteArray("/etc/x"), QByteArray(), QByteArray("1"), QByteArray("yes"), example}) {
                    for (const QByteArray &key : {keyword, keyword.toUpper()}) {
                        const QByteArray line = value.isEmpty() ? key : key + assign + value;
                        if (takes(line)) {
                            QVERIFY2(allowed.contains(keyword), line.constData());
                            QVERIFY2(value != "/etc/x", line.constData());
                        }
                        if (assign != '=' && value.startsWith('/')) {
                            QVERIFY2(!takes("server 192.0.2.1 " + key + ' ' + value), line.constData());
                        }
                    }
                }
            }
        }
        // openntpd reads the CR of a CR LF line: without it, the line is another.
        FileError error;
        QVERIFY(!WriteRequest::keepsGuardedLines(QStringLiteral("/etc/openntpd/ntpd.conf"), "listen on *\r\n", "listen on *\n", &error));
    }

    // A file larger than any configuration is neither read nor written over,
    // by the pages or by the helper.
    void refusesLargeFiles()
    {
        const QTemporaryDir root;
        const QString file = root.path() + QStringLiteral("/etc/chrony/chrony.conf");
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        const QByteArray large = "server a.example\n# " + QByteArray(1 << 20, 'x') + '\n';
        writeFile(file, large);
        ServiceSettings settings(ChronyPackage, {QDBusConnection(QString()), root.path()});
        FileError error;
        QVERIFY(!settings.hasMainSettings());
        QVERIFY(settings.configuredServers().isEmpty());
        QVERIFY(!settings.write(&error));
        const QByteArray small = "server b.example\n";
        QVERIFY(!WriteRequest::execute(WriteRequest::arguments(settings.configPath(), small, SafeFile::hashOf(large)), root.path(), &error));
        QCOMPARE(error.kind, FileError::TooLarge);
        QCOMPARE(readFile(file), large);
    }

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
        QCOMPARE(chmod(file.constData(), 0640), 0);
        QCOMPARE(root ? chown(file.constData(), 1234, 5678) : 0, 0);
        struct stat before, after;
        QCOMPARE(stat(file.constData(), &before), 0);
        FileError error;
        QVERIFY2(SafeFile::write({}, m_dir.filePath(QStringLiteral("link.conf")), newContent, SafeFile::hashOf(oldContent), &error),
                 qPrintable(error.toString()));
        QCOMPARE(readFile(path), newContent);
        QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("link.conf"))).isSymLink());
        QCOMPARE(stat(file.constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, mode_t(0640));
        QCOMPARE(after.st_uid, root ? uid_t(1234) : before.st_uid);
        QCOMPARE(after.st_gid, root ? gid_t(5678) : before.st_gid);
        QVERIFY(after.st_ino != before.st_ino); // a new file took its place
        QCOMPARE(leftovers(m_dir.path()), (QStringList{QStringLiteral("link.conf"), QStringLiteral("real.conf")}));
    }

    // The file must hold what was read; a missing file was read as none.
    void writesOnlyOverWhatWasRead()
    {
        const QString created = m_dir.filePath(QStringLiteral("new.conf"));
        SafeFile::Snapshot none;
        FileError error;
        QVERIFY(SafeFile::read({}, created, &none, &error));
        QVERIFY(!none.exists);
        QVERIFY2(SafeFile::write({}, created, newContent, none.hash(), &error), qPrintable(error.toString()));
        QCOMPARE(QFileInfo(created).permissions() & (QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther), QFile::ReadOther);
        QVERIFY(!SafeFile::write({}, created, oldContent, none.hash(), &error));
        QCOMPARE(error.path, created);

        const QString path = fresh("changed.conf", "server xyz.example iburst\n"); // another's edit, the same size
        QVERIFY(!SafeFile::write({}, path, newContent, SafeFile::hashOf(oldContent), &error));
        QCOMPARE(error.path, path);
        QVERIFY2(error.kind == FileError::ChangedOnDisk, qPrintable(error.toString()));
        // Changed while the new file was being made: still refused.
        writeFile(path, oldContent);
        QVERIFY(!SafeFile::write({}, path, newContent, SafeFile::hashOf(oldContent), &error, [&] {
            writeFile(path, "theirs\n");
        }));
        QCOMPARE(readFile(path), QByteArray("theirs\n"));
        QCOMPARE(readFile(created), newContent);
        QCOMPARE(leftovers(m_dir.path()), (QStringList{QStringLiteral("changed.conf"), QStringLiteral("new.conf")}));
    }

    // Root writes through file permissions: the folder is a read-only mount,
    // made in a private mount namespace of a child process.
    void readOnlyFolderLeavesOldFile()
    {
        if (geteuid() != 0) {
            QSKIP("a read-only mount needs root");
        }
        const QString path = fresh("ro/chrony.conf", oldContent);
        const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
        const int status = inChild([&] {
            FileError error;
            if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0
                || mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
                return 10;
            }
            return SafeFile::write({}, path, newContent, SafeFile::hashOf(oldContent), &error) || error.code != EROFS ? 20 : 0;
        });
        QCOMPARE(status, 0); // exited with 0
        QCOMPARE(readFile(path), oldContent);
        QCOMPARE(leftovers(QFileInfo(path).path()), QStringList{QStringLiteral("chrony.conf")});
    }

    void killBeforeRenameLeavesOldFile()
    {
        const QString path = fresh("killed.conf", oldContent);
        const int status = inChild([&] {
            FileError error;
            SafeFile::write({}, path, newContent, SafeFile::hashOf(oldContent), &error, [] {
                raise(SIGKILL);
            });
            return 1;
        });
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGKILL);
        QCOMPARE(readFile(path), oldContent);
        const QString temp = leftovers(m_dir.path()).filter(QStringLiteral(".killed.conf.")).value(0);
        QVERIFY(!temp.isEmpty());
        // An hour later the next write goes through and takes the leftover away.
        const struct utimbuf hourAgo = {time(nullptr) - 3600, time(nullptr) - 3600};
        QCOMPARE(utime(QFile::encodeName(m_dir.filePath(temp)).constData(), &hourAgo), 0);
        FileError error;
        QVERIFY2(SafeFile::write({}, path, newContent, SafeFile::hashOf(oldContent), &error), qPrintable(error.toString()));
        QCOMPARE(leftovers(m_dir.path()), QStringList{QStringLiteral("killed.conf")});
    }

    // Refused at once: opening a FIFO for good would wait for a writer.
    void refusesFifo()
    {
        const QString path = m_dir.filePath(QStringLiteral("fifo.conf"));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        SafeFile::Snapshot snapshot;
        FileError error;
        QVERIFY(!SafeFile::read({}, path, &snapshot, &error));
        QVERIFY(!SafeFile::write({}, path, newContent, QByteArray(), &error));
        QCOMPARE(error.path, path);
        QVERIFY2(error.kind == FileError::NotRegularFile, qPrintable(error.toString()));
    }

    // Links under a system root lead where they lead for the daemons inside
    // it, as path_resolution(7) and openat2(2)'s RESOLVE_IN_ROOT describe:
    // "/" and ".." stop at the root. A file of the same name outside the
    // root is neither read nor written (or, where the kernel cannot resolve
    // so, the link is refused).
    void linksStayInRoot()
    {
        const QString root = m_dir.filePath(QStringLiteral("root"));
        const QString outside = fresh("outside/chrony.conf", oldContent);
        const QString conf = QStringLiteral("/etc/chrony/chrony.conf");
        const QString climb = QStringLiteral("../../../../../../../../../../../..") + outside;
        // {what is a link, its target}
        const QList<QPair<QString, QString>> links{{conf, outside}, {conf, climb}, {QStringLiteral("/etc/chrony"), QFileInfo(outside).path()}};
        for (const auto &link : links) {
            QDir(root).removeRecursively();
            const QString inRoot = fresh(qPrintable(QStringLiteral("root") + outside), "server inside.example\n");
            QVERIFY(QDir().mkpath(QFileInfo(root + link.first).path()));
            QVERIFY(QFile::link(link.second, root + link.first));
            SafeFile::Snapshot snapshot;
            FileError error;
            const bool read = SafeFile::read(root, conf, &snapshot, &error);
            QVERIFY2(read ? snapshot.content == readFile(inRoot) : error.kind == FileError::LeavesRoot, qPrintable(link.second));
            const bool written = SafeFile::write(root, conf, newContent, SafeFile::hashOf(readFile(inRoot)), &error);
            QVERIFY2(written ? readFile(inRoot) == newContent : error.kind == FileError::LeavesRoot, qPrintable(link.second));
            QCOMPARE(readFile(outside), oldContent);
        }
    }

    // What the helper takes, sent as the library sends it, against the stock
    // Debian files: the pages' and the dialog's changes are written; a path
    // not ours, a malformed name, or a line they would not write (one naming
    // a file, a CR, a look-alike letter, a line the daemon splits otherwise)
    // is refused.
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
            {"chrony", "confdir /etc/chrony/conf.d", "confdir /home/user", "confdir /home/user"},
            {"chrony", "logdir /var/log/chrony", "logdir /etc", "logdir /etc"},
            {"chrony", "/var/lib/chrony/chrony.drift", "/etc/passwd", "driftfile"},
            {"ntpsec", "", "server ntp.example.org nts ca /home/user/ca", "ca /home/user"},
            {"openntpd", "", "sen\\\nsor /dev/sda", "sensor"}, // openntpd joins a line ending in '\'
            {"systemd-timesyncd", "", ".include /home/user/evil.conf", ".include"},
            {"chrony", "", "makestep 1\r3", "makestep"},
            {"chrony", "", "s\xd0\xb5rver 192.0.2.1", "rver 192.0.2.1"}, // a Cyrillic "e"
            {"ntpsec", "", "server 192.0.2.1 iburst # \xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80", ""}, // a comment in Russian
            {"openntpd", "", "# note \\\r\nquery from 192.0.2.1", "note"}, // read by openntpd as a statement
        };
        for (const auto &change : changes) {
            const QString path = ServiceCatalog::byPackageName(QLatin1String(change[0]))->configPath;
            const QByteArray stock = TestHelpers::stockFile(QLatin1String(change[0]), path);
            QByteArray content = stock;
            *change[1] ? content.replace(change[1], change[2]) : content.append(QByteArray(change[2]) + '\n');
            QTest::newRow(change[2]) << path << stock << content << QString::fromLatin1(change[3]);
        }
        const QByteArray chrony = TestHelpers::stockFile(QStringLiteral("chrony"), QStringLiteral("/etc/chrony/chrony.conf"));
        const QString chronyPath = QStringLiteral("/etc/chrony/chrony.conf");
        // chronyd would read what follows its first 2 KiB as a line of its own.
        QTest::newRow("long line") << chronyPath << chrony << chrony + "# " + QByteArray(2100, 'x') + " pidfile /x\n" << QStringLiteral("too long");
        QTest::newRow("too large") << chronyPath << chrony << chrony + "# " + QByteArray(WriteRequest::maxContentSize, 'x') << QStringLiteral("too large");
        QTest::newRow("nul byte") << chronyPath << chrony << chrony + QByteArray("rtcsync\n\0", 9) << QStringLiteral("not valid");
        for (const char *path : {"/etc/passwd", "/etc/chrony/../chrony/chrony.conf", "/etc/chrony//chrony.conf", "/etc/chrony/chrony.conf/", ""}) {
            QTest::newRow(path) << QString::fromLatin1(path) << chrony << chrony + "rtcsync\n" << QStringLiteral("not the configuration file");
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
        FileError error;
        const bool written = WriteRequest::execute(WriteRequest::arguments(path, content, SafeFile::hashOf(stock)), root.path(), &error);
        QCOMPARE(readFile(file), written ? content : stock);
        QCOMPARE(written, mentions.isEmpty());
        if (!written) {
            QVERIFY2(error.kind >= FileError::NotConfigFile, qPrintable(error.toString()));
            QVERIFY2(error.toString().contains(mentions), qPrintable(error.toString()));
        }
        // The library refuses the same before asking for a password.
        FileError early;
        QCOMPARE(WriteRequest::validate(path, content, &early) && WriteRequest::keepsGuardedLines(path, stock, content, &early), written);
    }

    void malformedRequestArguments()
    {
        const QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("etc/chrony")));
        writeFile(root.path() + QStringLiteral("/etc/chrony/chrony.conf"), oldContent);
        const QVariantMap args = WriteRequest::arguments(QStringLiteral("/etc/chrony/chrony.conf"), newContent, SafeFile::hashOf(oldContent));
        const QList<QPair<const char *, QVariant>> bad{{"content", QString::fromLatin1(newContent)},
                                                       {"mode", 0777},
                                                       {"expectedHash", SafeFile::hashOf("x")},
                                                       {"expectedHash", QByteArray("not-a-hash")},
                                                       {"expectedHash", SafeFile::hashOf(oldContent).toUpper()},
                                                       {"expectedHash", QByteArray(SafeFile::hashOf(oldContent) + '\n')},
                                                       {"notAfter", QDateTime::currentMSecsSinceEpoch() - 1},
                                                       {"notAfter", QStringLiteral("1")},
                                                       {"path", QVariant()}};
        for (const auto &change : bad) {
            QVariantMap request = args;
            request[QLatin1String(change.first)] = change.second;
            FileError error;
            QVERIFY2(!WriteRequest::execute(request, root.path(), &error), change.first);
            QVERIFY2(error.isError(), change.first);
        }
        QCOMPARE(readFile(root.path() + QStringLiteral("/etc/chrony/chrony.conf")), oldContent);
        FileError error;
        QVERIFY2(WriteRequest::execute(args, root.path(), &error), qPrintable(error.toString()));
        QCOMPARE(readFile(root.path() + QStringLiteral("/etc/chrony/chrony.conf")), newContent);
    }
};

QTEST_GUILESS_MAIN(FilesTest)

#include "tst_files.moc"
