// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "oneshotsync.h"

#include "common/programs.h"
#include "common/serveraddress.h"
#include "zeladmintime_debug.h"

#include <KLocalizedString>

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <unistd.h>

// One query of one server; DNS and a few addresses per name fit well inside.
static constexpr int defaultRequestTimeout = 5;
static constexpr int defaultTimeLimit = 30000;
// pkexec may first ask for a password: time for a person to type it.
static constexpr int authenticationAllowance = 5 * 60 * 1000;

// What pkexec runs as root. Once authorized, pkexec becomes this program as
// root, which the module may no longer signal: it ends ntpdig (and itself)
// as soon as the module closes its standard input, because the module
// stopped waiting or went away.
static QString rootSideScript()
{
    return QStringLiteral(
               "exec 3<&0\n"
               "'%1' \"$@\" </dev/null 3<&- &\n"
               "ntpdig=$!\n"
               "{ while read -r _; do :; done; kill \"$ntpdig\"; } <&3 2>/dev/null &\n"
               "watcher=$!\n"
               "exec 3<&-\n"
               "wait \"$ntpdig\"\n"
               "status=$?\n"
               "kill \"$watcher\" 2>/dev/null\n"
               "exit \"$status\"\n")
        .arg(Programs::ntpdig());
}

OneShotSync::OneShotSync(QObject *parent)
    : QObject(parent)
    , m_requestTimeout(defaultRequestTimeout)
    , m_timeLimit(defaultTimeLimit)
    , m_usePkexec(geteuid() != 0)
{
}

OneShotSync::~OneShotSync()
{
    // Runs still going are children; each ends at once when stopped, so
    // QProcess's wait for it on destruction is short.
    const auto processes = findChildren<QProcess *>(QString(), Qt::FindDirectChildrenOnly);
    for (QProcess *process : processes) {
        process->disconnect(this);
        stop(process);
    }
}

void OneShotSync::stop(QProcess *process)
{
    // pkexec's root side watches its input; pkexec itself, while it still
    // waits for the authorization, and ntpdig run directly take the signal.
    process->closeWriteChannel();
    process->kill();
}

void OneShotSync::setRequestTimeout(int seconds)
{
    m_requestTimeout = qMax(1, seconds);
}

void OneShotSync::setTimeLimit(int milliseconds)
{
    m_timeLimit = qMax(0, milliseconds);
}

void OneShotSync::setUsePkexec(bool use)
{
    m_usePkexec = use;
}

void OneShotSync::failLater(const QString &message)
{
    qCWarning(ZELADMINTIME_LOG) << "one-off synchronization:" << message;
    // The caller is still inside start(): answer from the event loop.
    QTimer::singleShot(0, this, [this, message] {
        Q_EMIT failed(message);
    });
}

bool OneShotSync::start(const QString &address)
{
    // Checked before anything else: the address ends up on a root command line.
    if (address.trimmed().isEmpty()) {
        failLater(ki18nd("kcm_zel_admin_time", "No server address was given.").toString());
        return false;
    }
    if (!ServerAddress::isValid(address)) {
        failLater(ki18nd("kcm_zel_admin_time", "\"%1\" is not a valid server name or IP address.").subs(address).toString());
        return false;
    }

    // By its fixed path: a program of that name elsewhere in PATH would run as root.
    const QString ntpdig = Programs::ntpdig();
    if (!QFileInfo(ntpdig).isExecutable()) {
        failLater(ki18nd("kcm_zel_admin_time", "The program ntpdig was not found. Please install the package ntpsec-ntpdig.").toString());
        return true;
    }
    QString program = ntpdig;
    // -S steps the clock at once; "--" keeps the address an operand.
    QStringList arguments{QStringLiteral("-S"), QStringLiteral("-t"), QString::number(m_requestTimeout), QStringLiteral("--"), address};
    if (m_usePkexec) {
        program = Programs::pkexec();
        if (!QFileInfo(program).isExecutable()) {
            failLater(ki18nd("kcm_zel_admin_time", "The program pkexec was not found. Please install the package pkexec.").toString());
            return true;
        }
        arguments = QStringList{Programs::shell(), QStringLiteral("-c"), rootSideScript(), QStringLiteral("ntpdig")} + arguments;
    }

    auto *process = new QProcess(this);
    process->setProgram(program);
    process->setArguments(arguments);
    if (!m_usePkexec) {
        process->setStandardInputFile(QProcess::nullDevice());
    }
    // Started from the event loop, so that not even a failure to start is
    // reported from inside this call.
    QTimer::singleShot(0, process, [this, process] {
        run(process);
    });
    return true;
}

void OneShotSync::run(QProcess *process)
{
    // Set once the run has been answered: later news of it is dropped.
    auto answered = std::make_shared<bool>(false);
    const int limit = m_timeLimit + (m_usePkexec ? authenticationAllowance : 0);
    auto *timer = new QTimer(process);
    timer->setSingleShot(true);

    auto answer = [this, answered, timer](bool ok, const QString &message) {
        if (*answered) {
            return;
        }
        *answered = true;
        timer->stop();
        if (ok) {
            Q_EMIT succeeded();
        } else {
            qCWarning(ZELADMINTIME_LOG) << "one-off synchronization failed:" << message;
            Q_EMIT failed(message);
        }
    };

    connect(timer, &QTimer::timeout, this, [process, answer, limit] {
        answer(false,
               ki18ndp("kcm_zel_admin_time",
                       "The synchronization did not end within %1 second and was stopped.",
                       "The synchronization did not end within %1 seconds and was stopped.")
                   .subs((limit + 999) / 1000)
                   .toString());
        stop(process);
    });

    connect(process, &QProcess::errorOccurred, this, [process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) {
            // Crashes and kills come with finished() as well.
            return;
        }
        answer(false, ki18nd("kcm_zel_admin_time", "The program %1 could not be started: %2").subs(process->program()).subs(process->errorString()).toString());
        process->deleteLater();
    });

    const bool viaPkexec = m_usePkexec;
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [process, answer, viaPkexec](int exitCode, QProcess::ExitStatus status) {
        process->deleteLater();
        const QString errors = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        const QString output = QString::fromLocal8Bit(process->readAllStandardOutput()).trimmed();
        if (status == QProcess::CrashExit) {
            QString message = ki18nd("kcm_zel_admin_time", "The synchronization program stopped unexpectedly.").toString();
            if (!errors.isEmpty()) {
                message += QLatin1Char('\n') + errors;
            }
            answer(false, message);
            return;
        }
        if (exitCode == 0) {
            answer(true, QString());
            return;
        }
        // pkexec's own codes: the dialog was dismissed (126), or the
        // authorization was refused or could not be obtained (127). pkexec's
        // own words ("... This incident has been reported.") go to the log.
        if (viaPkexec && (exitCode == 126 || exitCode == 127)) {
            qCWarning(ZELADMINTIME_LOG).noquote() << "pkexec:" << exitCode << errors;
            answer(false,
                   exitCode == 126
                       ? ki18nd("kcm_zel_admin_time", "Setting the system clock needs the administrator's authorization, which was cancelled.").toString()
                       : ki18nd("kcm_zel_admin_time", "Setting the system clock needs the administrator's authorization, which was refused.").toString());
            return;
        }
        // ntpdig's own words, e.g. "ntpdig: no eligible servers".
        QString message = !errors.isEmpty() ? errors : output;
        if (message.isEmpty()) {
            message = ki18nd("kcm_zel_admin_time", "The synchronization failed with exit code %1.").subs(exitCode).toString();
        }
        answer(false, message);
    });

    if (limit > 0) {
        timer->start(limit);
    }
    process->start();
}
