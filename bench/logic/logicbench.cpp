// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// How long the window waits for the library: building the installed-services
// map (reloadSystemState) with all four services installed, and reading the
// selected service's state. The state read must not go to D-Bus: a bus
// monitor counts the messages the process sends meanwhile.
//
// Runs inside the sandbox machine only (it starts chrony):
//   sandbox/run.sh --build-dir BUILD --installed "systemd-timesyncd chrony ntpsec openntpd" -- logicbench [--iterations N]

#include "logiccontroller.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <algorithm>

static QTextStream out(stdout);

static void report(const char *what, QVector<qint64> nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const double ms = 1e6;
    out << what << ": " << nanoseconds.size() << " runs, min " << nanoseconds.first() / ms << " ms, median " << nanoseconds.at(nanoseconds.size() / 2) / ms
        << " ms, max " << nanoseconds.last() / ms << " ms" << Qt::endl;
}

// Watches the bus for messages sent by this process.
class BusCounter
{
public:
    bool start()
    {
        const QString self = QDBusConnection::systemBus().baseService();
        // Line-buffered, or the markers would wait in dbus-monitor's buffer.
        monitor.start(QStringLiteral("stdbuf"),
                      {QStringLiteral("-oL"), QStringLiteral("dbus-monitor"), QStringLiteral("--system"), QStringLiteral("sender='%1'").arg(self)});
        if (!monitor.waitForStarted(5000)) {
            return false;
        }
        return waitForMarker(QStringLiteral("zel.bench.ready"));
    }

    // Messages sent between the two markers, the markers left out.
    int countDuring(const std::function<void()> &work)
    {
        if (!waitForMarker(QStringLiteral("zel.bench.begin"))) {
            return -1;
        }
        work();
        QByteArray seen;
        if (!waitForMarker(QStringLiteral("zel.bench.end"), &seen)) {
            return -1;
        }
        int count = 0;
        const QList<QByteArray> lines = seen.split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("method call") || line.startsWith("signal")) {
                ++count;
            }
        }
        return count - 1; // the end marker's own call
    }

    QString diagnostics() const
    {
        return monitor.errorString() + QLatin1Char(' ') + QString::fromUtf8(output.left(300));
    }

    ~BusCounter()
    {
        monitor.kill();
        monitor.waitForFinished(2000);
    }

private:
    // Sends the marker until the monitor shows it; what came before it goes to *before.
    bool waitForMarker(const QString &marker, QByteArray *before = nullptr)
    {
        QElapsedTimer timer;
        timer.start();
        bool sent = false;
        while (timer.elapsed() < 10000) {
            if (!sent || before == nullptr) {
                QDBusConnection::systemBus().interface()->isServiceRegistered(marker);
                sent = true;
            }
            monitor.waitForReadyRead(200);
            output += monitor.readAllStandardOutput();
            const int at = output.indexOf(marker.toUtf8());
            if (at >= 0) {
                if (before) {
                    *before = output.left(at);
                }
                output = output.mid(output.lastIndexOf(marker.toUtf8()) + marker.size());
                return true;
            }
        }
        return false;
    }

    QProcess monitor;
    QByteArray output;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("ZEL_SANDBOX")) {
        out << "logicbench runs only inside the sandbox machine (sandbox/run.sh)" << Qt::endl;
        return 2;
    }
    int iterations = 50;
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--iterations"));
    if (at > 0 && at + 1 < args.size()) {
        iterations = std::max(1, args.at(at + 1).toInt());
    }

    QElapsedTimer timer;
    timer.start();
    LogicController controller(true);
    out << "constructing the controller: " << timer.nsecsElapsed() / 1e6 << " ms" << Qt::endl;
    if (controller.getInstalledServicesMap().size() != 4) {
        out << "expected four installed services, found " << controller.getInstalledServicesMap().size() << Qt::endl;
        return 1;
    }

    QVector<qint64> reloads;
    for (int i = 0; i < iterations; ++i) {
        timer.restart();
        controller.reloadSystemState();
        reloads.append(timer.nsecsElapsed());
        QCoreApplication::processEvents();
    }
    report("reloadSystemState, map of four services", reloads);

    // chrony running and synchronized: the state read takes its longest path.
    controller.setCurrentSelectedService(1);
    controller.startServiceByDbus(QStringLiteral("chrony"));
    timer.restart();
    while (controller.getCurrentServiceState() != ServiceSynchronized && timer.elapsed() < 60000) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    out << "chrony state after start: " << int(controller.getCurrentServiceState()) << Qt::endl;

    const int calls = iterations * 20000;
    BusCounter bus;
    const bool counting = bus.start();
    if (!counting) {
        out << "no bus monitor: " << bus.diagnostics() << Qt::endl;
    }
    for (int row = 0; row < 4; ++row) {
        controller.setCurrentSelectedService(row);
        const QString name = QString(controller.getInstalledServicesMap().values().at(row)->getServiceName());
        qint64 elapsed = 0;
        int state = 0;
        auto work = [&] {
            timer.restart();
            for (int i = 0; i < calls; ++i) {
                state += controller.getCurrentServiceState();
            }
            elapsed = timer.nsecsElapsed();
        };
        const int messages = counting ? bus.countDuring(work) : (work(), -1);
        out << "getCurrentServiceState, " << name << " (state " << state / calls << "): " << calls << " calls, " << double(elapsed) / calls
            << " ns per call, D-Bus messages sent meanwhile: " << (messages < 0 ? QStringLiteral("not counted") : QString::number(messages)) << Qt::endl;
        QCoreApplication::processEvents();
    }
    if (counting) {
        // The monitor does see the library's messages when there are some.
        const int messages = bus.countDuring([&] {
            controller.reloadSystemState();
        });
        out << "for comparison, D-Bus messages sent by one reloadSystemState: " << messages << Qt::endl;
    }
    controller.stopServiceByDbus(QStringLiteral("chrony"));
    return 0;
}
