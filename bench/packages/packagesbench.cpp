// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// What apt's lists cost the window: constructing the controller with a copy of
// this machine's lists in the system root, against the same root without
// lists (only the dpkg status is read), and the first answers of the add
// dialog (not-installed services and their conflicts) afterwards; reading the
// dpkg status file alone is the reference the construction is held to. Also
// one stanza with 100,000 Conflicts entries, parsed from two lists, and lists
// of "Package:" lines without an empty line of growing size (up to MB
// megabytes), where the time must grow with the size, not its square.
//
// Runs inside the sandbox machine only:
//   sandbox/run.sh --build-dir BUILD -- packagesbench [--iterations N] [--lists DIR] [--status FILE] [--list-mb MB]
// DIR (default /var/lib/apt/lists) and FILE (default /var/lib/dpkg/status)
// are only read: the lists are copied, the status file's packages are put
// before the sandbox's own in both roots' status files.

#include "logiccontroller.h"
#include "packages/packagedatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <algorithm>

static QTextStream out(stdout);

static void report(const QString &what, QVector<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const double ms = 1e6;
    out << what << ": " << nanoseconds.size() << " runs, min " << nanoseconds.first() / ms << " ms, median " << nanoseconds.at(nanoseconds.size() / 2) / ms
        << " ms, max " << nanoseconds.last() / ms << " ms" << Qt::endl;
}

static QString addDialogAnswers(const LogicController &controller)
{
    QStringList answers;
    for (const QString &name : controller.getNotInstalledServicesNames()) {
        answers.append(name + QLatin1String(": ") + controller.getConflictedServices(name).join(QLatin1Char(',')));
    }
    for (const QString &name : {QStringLiteral("chrony"), QStringLiteral("ntpsec")}) {
        answers.append(name + QLatin1String(" removes ") + controller.getConflictedServices(name).join(QLatin1Char(',')));
    }
    return answers.join(QLatin1String("; "));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString base = qEnvironmentVariable("ZELADMINTIME_SYSROOT");
    if (!qEnvironmentVariableIsSet("ZEL_SANDBOX") || base.isEmpty()) {
        out << "packagesbench runs only inside the sandbox machine (sandbox/run.sh)" << Qt::endl;
        return 2;
    }
    int iterations = 20;
    double listMegabytes = 10;
    QString listsDir = QStringLiteral("/var/lib/apt/lists");
    QString statusPath = QStringLiteral("/var/lib/dpkg/status");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--iterations")) {
            iterations = std::max(1, args.at(i + 1).toInt());
        } else if (args.at(i) == QLatin1String("--lists")) {
            listsDir = args.at(i + 1);
        } else if (args.at(i) == QLatin1String("--status")) {
            statusPath = args.at(i + 1);
        } else if (args.at(i) == QLatin1String("--list-mb")) {
            listMegabytes = args.at(i + 1).toDouble();
        }
    }

    // The same root twice: once with the real lists beside the sandbox's own, once with none.
    const QString full = qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/bench-full-root");
    const QString bare = qEnvironmentVariable("ZEL_SANDBOX") + QLatin1String("/bench-bare-root");
    for (const QString &root : {full, bare}) {
        if (QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), base, root}) != 0) {
            out << "cannot copy the system root to " << root << Qt::endl;
            return 1;
        }
    }
    QDir(bare + QLatin1String("/var/lib/apt/lists")).removeRecursively();
    QFile machineStatus(statusPath);
    QFile sandboxStatus(base + QLatin1String("/var/lib/dpkg/status"));
    if (!machineStatus.open(QIODevice::ReadOnly) || !sandboxStatus.open(QIODevice::ReadOnly)) {
        out << "cannot read " << statusPath << " or the sandbox's status file" << Qt::endl;
        return 1;
    }
    const QByteArray status = machineStatus.readAll() + '\n' + sandboxStatus.readAll();
    for (const QString &root : {full, bare}) {
        QFile file(root + QLatin1String("/var/lib/dpkg/status"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(status) != status.size()) {
            out << "cannot write " << file.fileName() << Qt::endl;
            return 1;
        }
    }
    qint64 bytes = 0;
    const QFileInfoList lists = QDir(listsDir).entryInfoList({QStringLiteral("*_Packages*")}, QDir::Files);
    for (const QFileInfo &list : lists) {
        // Named apart from the sandbox's own list, which on Debian 13 has the
        // same name as the machine's uncompressed one.
        if (!QFile::copy(list.absoluteFilePath(), full + QLatin1String("/var/lib/apt/lists/machine-") + list.fileName())) {
            out << "cannot copy " << list.absoluteFilePath() << Qt::endl;
            return 1;
        }
        bytes += list.size();
    }
    out << "copied " << lists.size() << " lists of " << listsDir << " (" << bytes / 1e6 << " MB on disk)" << Qt::endl;

    QVector<qint64> withLists, statusOnly, firstAnswers, statusRead, database;
    QString answersFull, answersBare;
    QElapsedTimer timer;
    QFile statusFile(bare + QLatin1String("/var/lib/dpkg/status"));
    out << "dpkg status: " << statusFile.size() / 1e6 << " MB" << Qt::endl;
    for (int i = 0; i < iterations; ++i) {
        timer.start();
        if (!statusFile.open(QIODevice::ReadOnly) || statusFile.readAll().isEmpty()) {
            out << "cannot read " << statusFile.fileName() << Qt::endl;
            return 1;
        }
        statusFile.close();
        statusRead.append(timer.nsecsElapsed());
        timer.start();
        PackageDatabase db({QStringLiteral("systemd-timesyncd"), QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd")}, full);
        db.load();
        database.append(timer.nsecsElapsed());
        qputenv("ZELADMINTIME_SYSROOT", bare.toLocal8Bit());
        timer.start();
        {
            LogicController controller(true);
            statusOnly.append(timer.nsecsElapsed());
            answersBare = addDialogAnswers(controller);
        }
        qputenv("ZELADMINTIME_SYSROOT", full.toLocal8Bit());
        timer.start();
        LogicController controller(true);
        withLists.append(timer.nsecsElapsed());
        timer.start();
        answersFull = addDialogAnswers(controller);
        firstAnswers.append(timer.nsecsElapsed());
        QCoreApplication::processEvents();
    }
    qputenv("ZELADMINTIME_SYSROOT", base.toLocal8Bit());
    report(QStringLiteral("reading the dpkg status file once (reference)"), statusRead);
    report(QStringLiteral("the package database's part of it: reading the four services' packages"), database);
    report(QStringLiteral("constructing the controller, dpkg status only"), statusOnly);
    report(QStringLiteral("constructing the controller, full apt lists"), withLists);
    report(QStringLiteral("then the add dialog's first answers"), firstAnswers);
    QByteArray conflicts("Package: openntpd\nConflicts: ");
    for (int i = 0; i < 100000; ++i) {
        conflicts += "p" + QByteArray::number(i) + " (>= 1), ";
    }
    conflicts += "time-daemon\n\nPackage: chrony\nProvides: time-daemon\n";
    QVector<qint64> huge;
    for (int i = 0; i < iterations; ++i) {
        PackageDatabase db({QStringLiteral("chrony"), QStringLiteral("openntpd")}, QString());
        timer.start();
        db.addAptList(conflicts, QStringLiteral("main_Packages"));
        db.addAptList(conflicts, QStringLiteral("updates_Packages"));
        db.conflict(QStringLiteral("chrony"), QStringLiteral("openntpd"));
        huge.append(timer.nsecsElapsed());
    }
    report(QStringLiteral("a stanza with 100,000 Conflicts entries in two lists"), huge);
    // Our packages and others by turns, each a field or two, no empty line.
    QByteArray stretch;
    for (double megabytes : {0.32, 1.28, listMegabytes}) {
        if (megabytes <= 0) {
            continue;
        }
        const char *names[] = {"chrony", "libfoo1", "ntpsec", "openntpd", "bar-utils", "systemd-timesyncd"};
        for (int i = 0; stretch.size() < megabytes * 1e6; ++i) {
            stretch += QByteArray("Package: ") + names[i % 6] + "\nVersion: 1.0-" + QByteArray::number(i) + "\n";
        }
        QVector<qint64> times;
        for (int i = 0; i < std::max(1, iterations / 4); ++i) {
            PackageDatabase db({QStringLiteral("chrony"), QStringLiteral("ntpsec"), QStringLiteral("openntpd"), QStringLiteral("systemd-timesyncd")},
                               QString());
            timer.start();
            db.addAptList(stretch, QStringLiteral("stretch_Packages"));
            times.append(timer.nsecsElapsed());
        }
        report(QStringLiteral("%1 MB of Package: lines without an empty line").arg(stretch.size() / 1e6), times);
    }
    out << "add dialog, full lists: " << answersFull << Qt::endl;
    out << "add dialog, no lists:   " << answersBare << Qt::endl;
    return 0;
}
