// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/chronyfix.h"

#include "common/releasecompat.h"

#include "authhelper/chronycommand.h"
#include "common/programs.h"
#include "syncstate/toolrunner.h"
#include "zeladmintime_debug.h"

#include <KAuth/Action>
#include <KAuth/ExecuteJob>

#include <QTimer>

#include <unistd.h>

ChronyFix::ChronyFix(QObject *parent)
    : QObject(parent)
    , m_runner(new ToolRunner(this))
    , m_throughHelper(::geteuid() != 0)
{
    qRegisterMetaType<Finding::Fix>();
    qRegisterMetaType<ChronyFix::Outcome>();
}

static QString commandOf(Finding::Fix fix)
{
    switch (fix) {
    case Finding::Burst:
        return QStringLiteral("burst");
    case Finding::Online:
        return QStringLiteral("online");
    case Finding::MakeStep:
        return QStringLiteral("makestep");
    case Finding::NoFix:
        break;
    }
    return {};
}

bool ChronyFix::run(Finding::Fix fix, QWidget *window)
{
    QStringList arguments;
    if (m_running || !ChronyCommand::arguments(ChronyCommand::request(commandOf(fix)), &arguments)) {
        return false;
    }
    m_running = true;
    if (!m_throughHelper) {
        m_runner->run(Programs::chronyc(), arguments, ChronyCommand::timeLimitMs, [this, fix](const ToolOutput &result) {
            const QString said = QString::fromLocal8Bit(result.output).trimmed().left(300);
            done(fix, result.succeeded() ? Outcome::Done : Outcome::Failed, said.isEmpty() ? result.error : said);
        });
        return true;
    }
    KAuth::Action action(QString::fromLatin1(ChronyCommand::actionId));
    action.setHelperId(QString::fromLatin1(ChronyCommand::helperId));
    action.setArguments(ChronyCommand::request(commandOf(fix)));
    // The password dialog may stay open a while.
    action.setTimeout(5 * 60 * 1000);
    if (window) {
        ReleaseCompat::setAuthParent(action, window);
    }
    KAuth::ExecuteJob *job = action.execute();
    connect(job, &KJob::result, this, [this, fix, job] {
        Outcome outcome = Outcome::Failed;
        QString said = job->errorText().isEmpty() ? job->errorString() : job->errorText();
        if (job->error() == KAuth::ActionReply::NoError) {
            outcome = Outcome::Done;
            said.clear();
        } else if (job->error() == KAuth::ActionReply::AuthorizationDeniedError || job->error() == KAuth::ActionReply::UserCancelledError) {
            outcome = Outcome::NotAuthorized;
            said = job->errorString();
        }
        // KAuth answers an action it cannot start (no policy installed) from
        // inside start(): the caller hears of it from the event loop, as of
        // every other end.
        QTimer::singleShot(0, this, [this, fix, outcome, said] {
            done(fix, outcome, said);
        });
    });
    job->start();
    return true;
}

void ChronyFix::done(Finding::Fix fix, Outcome outcome, const QString &detail)
{
    m_running = false;
    if (outcome != Outcome::Done) {
        qCWarning(ZELADMINTIME_LOG) << "chronyc" << commandOf(fix) << "did not work:" << detail;
    }
    Q_EMIT finished(fix, outcome, detail);
}
