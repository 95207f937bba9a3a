// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// What apt's lists cost the window: constructing the controller with a copy of
// this machine's lists in the system root, against the same root without
// lists (only the dpkg status is read), and the first answers of the add
// dialog (not-installed services and their conflicts) afterwards. Also one
// stanza with 100,000 Conflicts entries, parsed from two lists.
//
// Runs inside the sandbox machine only:
//   sandbox/run.sh --build-dir BUILD -- packagesbench [--iterations N] [--lists DIR]
// DIR (default /var/lib/apt/lists) is only read; its *_Packages* files are copied.

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
    QString listsDir = QStringLiteral("/var/lib/apt/lists");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--iterations")) {
            iterations = std::max(1, args.at(i + 1).toInt());
        } else if (args.at(i) == QLatin1String("--lists")) {
            listsDir = args.at(i + 1);
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
    qint64 bytes = 0;
    const QFileInfoList lists = QDir(listsDir).entryInfoList({QStringLiteral("*_Packages*")}, QDir::Files);
    for (const QFileInfo &list : lists) {
        if (!QFile::copy(list.absoluteFilePath(), full + QLatin1String("/var/lib/apt/lists/") + list.fileName())) {
            out << "cannot copy " << list.absoluteFilePath() << Qt::endl;
            return 1;
        }
        bytes += list.size();
    }
    out << "copied " << lists.size() << " lists of " << listsDir << " (" << bytes / 1e6 << " MB on disk)" << Qt::endl;

    QVector<qint64> withLists, statusOnly, firstAnswers;
    QString answersFull, answersBare;
    QElapsedTimer timer;
    for (int i = 0; i < iterations; ++i) {
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
    report(QStringLiteral("constructing the controller, dpkg status only (reference)"), statusOnly);
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
    out << "add dialog, full lists: " << answersFull << Qt::endl;
    out << "add dialog, no lists:   " << answersBare << Qt::endl;
    return 0;
}
