// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "packages/packageinstaller.h"

#include "common/nestedwait.h"
#include "common/programs.h"
#include "zeladmintime_debug.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace PackageInstaller
{
bool run(const QString &package, Action action, unsigned long long parentWindowId, const QObject *owner)
{
    static const QRegularExpression validName(QRegularExpression::anchoredPattern(QStringLiteral("[a-z0-9][a-z0-9+.-]+")));
    if (!validName.match(package).hasMatch()) {
        qCWarning(ZELADMINTIME_LOG) << "not a package name:" << package;
        return false;
    }
    const QString program = Programs::synapticPkexec();
    if (!QFileInfo(program).isExecutable()) {
        qCWarning(ZELADMINTIME_LOG) << program << "was not found";
        return false;
    }

    QTemporaryFile selections;
    if (!selections.open()) {
        qCWarning(ZELADMINTIME_LOG) << "cannot create a selections file:" << selections.errorString();
        return false;
    }
    const QByteArray line = package.toLatin1() + (action == Action::Install ? "\tinstall\n" : "\tdeinstall\n");
    if (selections.write(line) != line.size() || !selections.flush()) {
        qCWarning(ZELADMINTIME_LOG) << "cannot write the selections file:" << selections.errorString();
        return false;
    }
    // Synaptic runs as root through pkexec and must be able to read it.
    selections.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther | QFileDevice::ReadGroup);

    const QStringList arguments{QStringLiteral("--hide-main-window"),
                                QStringLiteral("--non-interactive"),
                                QStringLiteral("--parent-window-id"),
                                QString::number(parentWindowId),
                                QStringLiteral("--set-selections-file"),
                                selections.fileName()};

    // Parentless and deleted later: a wait loop further up may still
    // deliver its signals after we return.
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(program, arguments);
    bool done = process->waitForStarted(-1);
    if (!done) {
        qCWarning(ZELADMINTIME_LOG) << "synaptic-pkexec could not be started:" << process->errorString();
    } else {
        NestedWait wait(owner);
        wait.quitOn(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        // The window keeps painting; clicks wait until Synaptic is done.
        if (process->state() != QProcess::NotRunning && !wait.exec(-1, QEventLoop::ExcludeUserInputEvents)) {
            // Never cut an install short: Synaptic finishes with nobody to tell.
            QObject::connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), process, &QObject::deleteLater);
            return false;
        }
        done = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
        const QString what = action == Action::Install ? QStringLiteral("installing") : QStringLiteral("removing");
        if (process->exitStatus() != QProcess::NormalExit) {
            qCWarning(ZELADMINTIME_LOG).noquote() << what << package << "failed: synaptic-pkexec crashed";
        } else if (process->exitCode() == 126 || process->exitCode() == 127) {
            // pkexec's own codes: the password dialog was dismissed, or authorization refused.
            qCWarning(ZELADMINTIME_LOG).noquote() << what << package << "failed: the administrator's authorization was refused or cancelled (exit code"
                                                  << process->exitCode() << ")";
        } else if (!done) {
            qCWarning(ZELADMINTIME_LOG).noquote() << what << package << "failed: the package manager ended with exit code" << process->exitCode();
        }
    }
    process->deleteLater();
    return done;
}
}
