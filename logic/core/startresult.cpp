// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "core/startresult.h"

#include <KLocalizedString>

namespace StartResult
{
static QString jobResultText(const QString &result)
{
    // systemd's job results (JobRemoved), in words.
    if (result == QLatin1String("failed")) {
        return ki18nd("kcm_zel_admin_time", "the service failed").toString();
    }
    if (result == QLatin1String("timeout")) {
        return ki18nd("kcm_zel_admin_time", "it did not finish in time").toString();
    }
    if (result == QLatin1String("canceled")) {
        return ki18nd("kcm_zel_admin_time", "the request was cancelled").toString();
    }
    if (result == QLatin1String("dependency")) {
        return ki18nd("kcm_zel_admin_time", "a unit it depends on failed").toString();
    }
    if (result == QLatin1String("skipped")) {
        return ki18nd("kcm_zel_admin_time", "the request was skipped").toString();
    }
    if (result == QLatin1String("invalid")) {
        return ki18nd("kcm_zel_admin_time", "the request does not apply to this unit").toString();
    }
    if (result == QLatin1String("assert")) {
        return ki18nd("kcm_zel_admin_time", "a precondition of the unit was not met").toString();
    }
    if (result == QLatin1String("unsupported")) {
        return ki18nd("kcm_zel_admin_time", "this kind of unit is not supported").toString();
    }
    return ki18nd("kcm_zel_admin_time", "it ended abnormally").toString();
}

static QString unitStateText(const UnitState &unit)
{
    const QString active = unit.activeState.isEmpty() ? ki18nd("kcm_zel_admin_time", "unknown").toString() : unit.activeState;
    const QString sub = unit.subState.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unit.subState);
    if (unit.result.isEmpty() || unit.result == QLatin1String("success")) {
        return ki18nd("kcm_zel_admin_time", "The unit is now %1%2.").subs(active).subs(sub).toString();
    }
    return ki18nd("kcm_zel_admin_time", "The unit is now %1%2; the service's result is \"%3\".").subs(active).subs(sub).subs(unit.result).toString();
}

// "%1 cannot be started: %2" and its kin, for the job asked for.
static QString cannot(SystemdClient::Job job, const QString &serviceName, const QString &reason)
{
    switch (job) {
    case SystemdClient::Job::Restart:
        return ki18nd("kcm_zel_admin_time", "%1 cannot be restarted: %2").subs(serviceName).subs(reason).toString();
    case SystemdClient::Job::Stop:
        return ki18nd("kcm_zel_admin_time", "%1 cannot be stopped: %2").subs(serviceName).subs(reason).toString();
    case SystemdClient::Job::Start:
        break;
    }
    return ki18nd("kcm_zel_admin_time", "%1 cannot be started: %2").subs(serviceName).subs(reason).toString();
}

QString describe(SystemdClient::Job job, const QString &serviceName, const SystemdClient::JobOutcome &outcome, const UnitState &unit)
{
    const bool restart = job == SystemdClient::Job::Restart;
    const bool stop = job == SystemdClient::Job::Stop;
    switch (outcome.kind) {
    case SystemdClient::JobOutcome::Done:
        return QString();
    case SystemdClient::JobOutcome::JobFailed: {
        KLocalizedString what = restart ? ki18nd("kcm_zel_admin_time", "Restarting %1 failed: %2 (job result \"%3\").")
            : stop                      ? ki18nd("kcm_zel_admin_time", "Stopping %1 failed: %2 (job result \"%3\").")
                                        : ki18nd("kcm_zel_admin_time", "Starting %1 failed: %2 (job result \"%3\").");
        return what.subs(serviceName).subs(jobResultText(outcome.jobResult)).subs(outcome.jobResult).toString() + QLatin1Char(' ') + unitStateText(unit);
    }
    case SystemdClient::JobOutcome::CallFailed: {
        KLocalizedString what = restart ? ki18nd("kcm_zel_admin_time", "systemd refused to restart %1: %2")
            : stop                      ? ki18nd("kcm_zel_admin_time", "systemd refused to stop %1: %2")
                                        : ki18nd("kcm_zel_admin_time", "systemd refused to start %1: %2");
        return what.subs(serviceName).subs(reason(outcome.error)).toString();
    }
    case SystemdClient::JobOutcome::NoJobEnd:
        return ki18nd("kcm_zel_admin_time", "systemd did not report in time whether the job for %1 ended.").subs(serviceName).toString() + QLatin1Char(' ')
            + unitStateText(unit);
    case SystemdClient::JobOutcome::NotAnswering:
        return cannot(job, serviceName, ki18nd("kcm_zel_admin_time", "systemd does not answer; it may be busy or hung.").toString());
    case SystemdClient::JobOutcome::NoSignals:
        return cannot(job,
                      serviceName,
                      ki18nd("kcm_zel_admin_time", "systemd does not let the end of its jobs be followed (%1).").subs(outcome.error.message()).toString());
    case SystemdClient::JobOutcome::Unreachable:
        break;
    }
    return unreachable(job, serviceName);
}

QString reason(const QDBusError &error)
{
    // polkit said no, or the person dismissed its dialog: nothing changed.
    if (error.type() == QDBusError::AccessDenied || error.name() == QLatin1String("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired")) {
        return ki18nd("kcm_zel_admin_time", "the administrator's authorization was refused or cancelled").toString();
    }
    return error.message();
}

QString unreachable(SystemdClient::Job job, const QString &serviceName)
{
    return cannot(job, serviceName, ki18nd("kcm_zel_admin_time", "systemd cannot be reached.").toString());
}
}
