// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The package list parser, the package database and the conflict rule,
// without a machine; and the names Synaptic is given.

#include "packages/deb822.h"
#include "packages/packagedatabase.h"
#include "packages/packageinstaller.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// Debian 12's relation fields of the four services, as shipped.
static const QByteArray debianPackages =
    "Package: chrony\nVersion: 4.3-2\nReplaces: time-daemon\nProvides: time-daemon\n"
    "Depends: libc6 (>= 2.34),\n adduser\nConflicts: time-daemon\nDescription: x\n y\n .\n z\n\n"
    "Package: systemd-timesyncd\nReplaces: systemd (<< 245.4-2~), time-daemon\nProvides: time-daemon\n"
    "Conflicts: time-daemon\n\n"
    "Package: ntpsec\nProvides: time-daemon\nConflicts: time-daemon\n\n"
    "Package: openntpd\nReplaces: ntp, time-daemon\nProvides: time-daemon\nConflicts: ntp, time-daemon\n";

class ParsersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // {text, line of the first error (0: none), the packages kept}
    void paragraphs_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("errorLine");
        QTest::addColumn<QString>("packages");
        QTest::newRow("crlf, continuations, blank-only separator")
            << QByteArray("Package: a\r\nDescription: 1\r\n 2\r\n\t3\r\n \t \n\npackage: b\n") << 0 << "a b";
        QTest::newRow("continuation first") << QByteArray(" orphan\nPackage: a\n\nPackage: b\n") << 1 << "b";
        QTest::newRow("no colon") << QByteArray("Package: a\n\nPackage: b\ngarbage\n\nPackage: c\n") << 4 << "a c";
        QTest::newRow("empty name") << QByteArray("Package: a\n: value\n") << 2 << "";
        QTest::newRow("space in name") << QByteArray("Package: a\nBad Name: x\n\nPackage: b\n") << 2 << "b";
        QTest::newRow("field twice") << QByteArray("Package: a\nStatus: x\nstatus: y\n") << 3 << "";
        QTest::newRow("nul byte") << QByteArray("Package: a\nStatus: in\0stall\n\nPackage: b\n", 40) << 2 << "b";
        QTest::newRow("comment") << QByteArray("# c\nPackage: a\n\nPackage: b\n") << 1 << "b";
    }
    void paragraphs()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, errorLine);
        const Deb822::Result result = Deb822::parse(text);
        QCOMPARE(result.errors.isEmpty() ? 0 : result.errors.first().line, errorLine);
        QStringList kept;
        for (const Deb822::Paragraph &p : result.paragraphs) {
            kept.append(QString::fromLatin1(p.value("package")));
        }
        QTEST(kept.join(QLatin1Char(' ')), "packages");
        if (errorLine == 0) {
            QCOMPARE(result.paragraphs.first().value("description"), QByteArray("1\n2\n3"));
            QCOMPARE(result.paragraphs.last().firstLine, 7);
        }
    }

    void relationNames_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QVector<QByteArray>>("names");
        QTest::newRow("empty") << QByteArray() << QVector<QByteArray>{};
        QTest::newRow("versions") << QByteArray("systemd (<< 245.4-2~), time-daemon") << QVector<QByteArray>{"systemd", "time-daemon"};
        QTest::newRow("alternatives") << QByteArray("a | b (>= 1) | c") << QVector<QByteArray>{"a", "b", "c"};
        QTest::newRow("qualifiers") << QByteArray("perl:any, foo [amd64 i386] <!nocheck>,bar:amd64") << QVector<QByteArray>{"perl", "foo", "bar"};
        QTest::newRow("continued, repeated") << QByteArray("ntp,\ntime-daemon (= 1.0),  ntp") << QVector<QByteArray>{"ntp", "time-daemon"};
        QTest::newRow("junk") << QByteArray(",, | ,(1)") << QVector<QByteArray>{};
    }
    void relationNames()
    {
        QFETCH(QByteArray, field);
        QTEST(Deb822::relationNames(field), "names");
    }

    // Installed only when dpkg says so; conflicts through the virtual
    // package all four provide, or by name, from either side.
    void database()
    {
        const QStringList all{QStringLiteral("chrony"), QStringLiteral("systemd-timesyncd"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")};
        PackageDatabase db(all, QString());
        db.loadStatus(
            "Package: libc6\nStatus: install ok installed\n\nPackage: chrony\nStatus: hold ok installed\n\n"
            "Package: ntpsec\nStatus: deinstall ok config-files\n\nPackage: systemd-timesyncd\nStatus: install ok half-configured\n\n"
            "Package: openntpd\nStatus: deinstall ok installed\n",
            QStringLiteral("status"));
        // Only our packages' paragraphs are read: another's fault is not reported.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^x_Packages:\\d+: corrupt package list: ")));
        db.addAptList(debianPackages + "\nPackage: unrelated\nbad line\n\nPackage: openntpd\nno colon\n", QStringLiteral("x_Packages"));
        QCOMPARE(QVector<bool>({db.isInstalled(all[0]), db.isInstalled(all[1]), db.isInstalled(all[2]), db.isInstalled(all[3])}),
                 QVector<bool>({true, false, false, false}));
        // And Debian 13's, as its apt showed them (sources/debian13/capture.sh).
        QFile trixie(QStringLiteral(ZEL_DEBIAN13_FIXTURES "Packages"));
        PackageDatabase db13(all, QString());
        QVERIFY(trixie.open(QIODevice::ReadOnly));
        db13.addAptList(trixie.readAll(), QStringLiteral("trixie_Packages"));
        for (const QString &a : all) {
            for (const QString &b : all) {
                QVERIFY2(db.conflict(a, b) == (a != b) && db13.conflict(a, b) == (a != b), qPrintable(a + QLatin1Char(' ') + b));
            }
        }
        QCOMPARE(db.record(QStringLiteral("systemd-timesyncd")).replaces, (QVector<QByteArray>{"systemd", "time-daemon"}));
        QCOMPARE(db13.record(QStringLiteral("systemd-timesyncd")).replaces, QVector<QByteArray>{"time-daemon"});
        const PackageRecord a{"a", false, {}, {"b"}, {}}, b{"b", false, {"time-daemon"}, {"ntp"}, {}}, c{"c", false, {"time-daemon"}, {"ntp"}, {}};
        QVERIFY(PackageRelations::conflict(a, b));
        QVERIFY(PackageRelations::conflict(b, a));
        QVERIFY(!PackageRelations::conflict(b, c)); // the same provided, a third package conflicted
    }

    // From the files under a system root: a corrupt status paragraph is
    // reported and dropped; apt's lists may be compressed.
    void databaseFiles()
    {
        const QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("var/lib/dpkg")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("var/lib/apt/lists")));
        QFile status(root.path() + QStringLiteral("/var/lib/dpkg/status"));
        QVERIFY(status.open(QIODevice::WriteOnly));
        status.write("Package: chrony\nStatus: install ok installed\n\nPackage: ntpsec\nStatus: install ok installed\nno colon\n");
        status.close();
        QFile list(root.path() + QStringLiteral("/var/lib/apt/lists/x_Packages"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        QCOMPARE(list.write(debianPackages), debianPackages.size());
        list.close();
        QCOMPARE(QProcess::execute(QStringLiteral("gzip"), {list.fileName()}), 0);
        PackageDatabase db({QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")}, root.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("status:6: corrupt package list")));
        db.load();
        QVERIFY(db.isInstalled(QStringLiteral("chrony")));
        QVERIFY(!db.isInstalled(QStringLiteral("ntpsec")));
        QVERIFY(db.conflict(QStringLiteral("openntpd"), QStringLiteral("ntpsec")));
    }

    // Never a name Synaptic could take for an option or read as two lines.
    void packageNames()
    {
        for (const char *name : {"-o=Dir::Bin=/tmp", "chrony\nntp", "chrony\n", "Chrony", "c", ""}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not a package name")));
            QVERIFY(!PackageInstaller::run(QString::fromLatin1(name), PackageInstaller::Action::Install, 0, this));
        }
    }
};

QTEST_GUILESS_MAIN(ParsersTest)

#include "tst_parsers.moc"
