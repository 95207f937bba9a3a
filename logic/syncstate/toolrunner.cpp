// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/toolrunner.h"

#include <KLocalizedString>

ToolRunner::ToolRunner(QObject *parent)
    : QObject(parent)
{
    m_limit.setSingleShot(true);
}

ToolRunner::~ToolRunner()
{
    cancel();
}

void ToolRunner::run(const QString &program, const QStringList &arguments, int limitMs, Done done)
{
    cancel();
    m_done = std::move(done);
    const quint64 serial = ++m_serial;
    m_limit.disconnect(this);
    connect(&m_limit, &QTimer::timeout, this, [this, serial, limitMs] {
        ToolOutput result;
        result.error = ki18nd("kcm_zel_admin_time", "No answer within %1 seconds.").subs(limitMs / 1000).toString();
        finish(serial, result);
    });
    m_limit.start(qMax(0, limitMs));
    auto *process = new QProcess(this);
    m_process = process;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // Read once: the environment does not change under a running module.
    static const QProcessEnvironment environment = [] {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        return e;
    }();
    process->setProcessEnvironment(environment);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [this, process, serial](int code, QProcess::ExitStatus status) {
        ToolOutput result;
        result.ran = status == QProcess::NormalExit;
        result.exitCode = result.ran ? code : -1;
        result.output = process->readAllStandardOutput();
        result.error = QString::fromLocal8Bit(process->readAllStandardError()).trimmed().left(300);
        finish(serial, result);
    });
    connect(process, &QProcess::errorOccurred, this, [this, process, serial](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            ToolOutput result;
            result.error =
                ki18nd("kcm_zel_admin_time", "The program %1 could not be started: %2").subs(process->program()).subs(process->errorString()).toString();
            finish(serial, result);
        }
    });
    // Started from the event loop: not even a failure answers from inside run().
    QTimer::singleShot(0, process, [process] {
        process->start();
    });
}

void ToolRunner::finish(quint64 serial, const ToolOutput &result)
{
    // Late news of a run given up on.
    if (serial != m_serial || !m_done) {
        return;
    }
    const Done done = std::move(m_done);
    cancel();
    done(result);
}

void ToolRunner::cancel()
{
    ++m_serial;
    m_done = nullptr;
    m_limit.stop();
    if (m_process) {
        QProcess *process = m_process;
        m_process = nullptr;
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            // Reaped once gone; ~QProcess would wait for it here.
            connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), process, &QObject::deleteLater);
            connect(process, &QProcess::errorOccurred, process, &QObject::deleteLater);
            process->setParent(nullptr);
        } else {
            process->deleteLater();
        }
    }
}
