// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The chrony page's Sources table with its diagnosis and the servers'
// origins against a running chronyd: the GUI thread's CPU time for one
// refresh, both chronyc runs included (goal: at most 3 ms) beside the wall time
// of chronyc's own run, and the queries made while the page is hidden (goal:
// none).

#include "common/programs.h"
#include "diagnosis/diagnosisview.h"
#include "sources/sourcesview.h"
#include "syncstate/servicetools.h"
#include "syncstate/sourcesmonitor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>

static double threadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Sleeps in the event loop (no busy polling) until done() or ms have passed.
static void waitFor(const std::function<bool()> &done, int ms)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    check.start(100);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int refreshes = app.arguments().contains(QStringLiteral("--refreshes")) ? app.arguments().last().toInt() : 50;
    QProcess::execute(QStringLiteral("systemctl"),
                      (qgetenv("ZEL_SANDBOX_MODE") == "system" ? QStringList() : QStringList{QStringLiteral("--user")})
                          + QStringList{QStringLiteral("start"), QStringLiteral("chrony.service")});

    SourcesView view;
    view.setService(ChronyPackage, QDBusConnection::systemBus());
    SourcesMonitor *monitor = view.monitor();
    int shown = 0;
    QObject::connect(monitor, &SourcesMonitor::updated, [&shown](SourcesMonitor::Status status) {
        shown += status == SourcesMonitor::Status::Shown;
    });
    monitor->setInterval(20);
    view.show();
    waitFor(
        [&] {
            return shown > 0;
        },
        30000);
    if (shown == 0) {
        fprintf(stderr, "chronyd's sources never came\n");
        return 1;
    }

    // The event loop waits in poll() between the steps: only the GUI thread's
    // own work counts.
    const int start = shown;
    const double cpuBefore = threadMs();
    QElapsedTimer wall;
    wall.start();
    waitFor(
        [&] {
            return shown - start >= refreshes;
        },
        120000);
    const double perRefresh = (threadMs() - cpuBefore) / qMax(1, shown - start);
    const double wallPerRefresh = double(wall.elapsed()) / qMax(1, shown - start);

    // chronyc's own run, waited for here (the view never does that).
    QElapsedTimer tool;
    tool.start();
    for (int i = 0; i < refreshes; ++i) {
        QProcess chronyc;
        chronyc.start(Programs::chronyc(),
                      {QStringLiteral("-c"), QStringLiteral("-n"), QStringLiteral("-m"), QStringLiteral("sources"), QStringLiteral("sourcestats")});
        chronyc.waitForFinished();
    }
    const double toolMs = double(tool.elapsed()) / refreshes;

    // The diagnosis' own share: chronyc's whole answer read, judged and put
    // in words; once as most refreshes do, once with new words each time.
    QProcess chronyc;
    const ServiceTools::Command &command = ServiceTools::of(ChronyPackage)->sources.command;
    chronyc.start(command.program, command.arguments);
    chronyc.waitForFinished();
    const QByteArray output = chronyc.readAllStandardOutput();
    DiagnosisView words;
    words.show();
    double diagnosisMs[2];
    for (int fresh = 0; fresh < 2; ++fresh) {
        const double before = threadMs();
        for (int i = 0; i < 1000; ++i) {
            Finding finding =
                Diagnosis::diagnose(ChronyPackage, SourceParsers::chrony(output).rows, Diagnosis::parseChrony(output), QDateTime::currentDateTimeUtc());
            finding.kind = fresh && i % 2 ? Finding::NotSynchronised : finding.kind;
            words.setFinding(finding);
            app.processEvents();
        }
        diagnosisMs[fresh] = (threadMs() - before) / 1000;
    }

    view.hide();
    const int queriesHidden = monitor->queries();
    QElapsedTimer idle;
    idle.start();
    waitFor(
        [] {
            return false;
        },
        5000);
    const int queriesAfter = monitor->queries();

    printf("refreshes measured:             %d\n", shown - start);
    printf("GUI-thread CPU per refresh:     %.3f ms (goal <= 3 ms)\n", perRefresh);
    printf("wall time per refresh:          %.3f ms\n", wallPerRefresh);
    printf("chronyc's own run (wall):       %.3f ms\n", toolMs);
    printf("of which the diagnosis:         %.3f ms, %.3f ms with new words\n", diagnosisMs[0], diagnosisMs[1]);
    printf("queries in 5 s while hidden:    %d (goal 0)\n", queriesAfter - queriesHidden);
    return queriesAfter == queriesHidden ? 0 : 1;
}
