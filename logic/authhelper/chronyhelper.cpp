// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "authhelper/chronyhelper.h"

#include "authhelper/chronycommand.h"
#include "common/programs.h"

#include <QProcess>

namespace ChronyHelper
{
KAuth::ActionReply execute(const QVariantMap &request)
{
    QStringList arguments;
    if (!ChronyCommand::arguments(request, &arguments)) {
        KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply(KAuth::ActionReply::InvalidActionError);
        reply.setErrorDescription(QStringLiteral("not an allowed chronyc command"));
        return reply;
    }
    QProcess chronyc;
    chronyc.setProcessChannelMode(QProcess::MergedChannels);
    chronyc.setStandardInputFile(QProcess::nullDevice());
    chronyc.start(Programs::chronyc(), arguments);
    const bool ended = chronyc.waitForFinished(ChronyCommand::timeLimitMs);
    // chronyc's own words: "200 OK", "500 Failure", "506 Cannot talk to daemon".
    const QString said = QString::fromLocal8Bit(chronyc.readAll()).trimmed().left(300);
    if (!ended || chronyc.exitStatus() != QProcess::NormalExit || chronyc.exitCode() != 0) {
        if (!ended) {
            chronyc.kill();
            chronyc.waitForFinished(1000);
        }
        KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
        reply.setErrorDescription(said.isEmpty() ? chronyc.errorString() : said);
        return reply;
    }
    return KAuth::ActionReply::SuccessReply();
}
}
