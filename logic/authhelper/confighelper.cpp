// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The KAuth helper that writes a time service's configuration file as root.

#include "authhelper/chronyhelper.h"
#include "authhelper/writerequest.h"
#include "common/sysroot.h"

#include <KAuth/ActionReply>
#include <KAuth/HelperSupport>
#include <PolkitQt1/Authority>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <unistd.h>

class ConfigHelper : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    KAuth::ActionReply writeconfig(const QVariantMap &args);
    KAuth::ActionReply chronycommand(const QVariantMap &args)
    {
        return ChronyHelper::execute(args);
    }
};

KAuth::ActionReply ConfigHelper::writeconfig(const QVariantMap &args)
{
    FileError error;
    // The machine's own files, or the sandbox machine's when the bus that
    // started the helper named its root (the caller cannot choose it).
    if (!WriteRequest::execute(args, SysRoot::root(), &error)) {
        KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
        reply.setErrorDescription(error.toString());
        // The library tells its user from these, not from the words.
        reply.setData(error.toMap());
        return reply;
    }
    return KAuth::ActionReply::SuccessReply();
}

namespace
{
ConfigHelper *responder = nullptr;

// KAuth serves one request at a time and answers any other "busy" until it
// is done; anyone on the bus may send one. Two things would hold it for good:
// - polkit-qt never reports a check that polkit answered with an error (an
//   action id polkit does not know): that check is answered "no" here;
// - a check that waits for an authentication agent that never answers: a
//   request older than any the library still waits for ends the helper, and
//   the bus starts a fresh one for the next request.
// KAuth stops its idle timer while it works on a request.
void watchRequests()
{
    static constexpr int tickMs = 200;
    static constexpr qint64 limitMs = WriteRequest::validityMs + 30 * 1000;
    auto *busy = new QElapsedTimer;
    auto *timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [busy] {
        const auto *idle = responder ? responder->property("__KAuth_Helper_Shutdown_Timer").value<QTimer *>() : nullptr;
        if (!idle || idle->isActive()) {
            busy->invalidate();
            return;
        }
        if (!busy->isValid()) {
            busy->start();
        }
        PolkitQt1::Authority *authority = PolkitQt1::Authority::instance();
        if (authority->hasError()) {
            Q_EMIT authority->checkAuthorizationFinished(PolkitQt1::Authority::No);
        }
        if (busy->elapsed() > limitMs) {
            qWarning("A request outlived its validity; the helper ends");
            ::_exit(1);
        }
    });
    timer->start(tickMs);
}
}
Q_COREAPP_STARTUP_FUNCTION(watchRequests)

int main(int argc, char **argv)
{
    responder = new ConfigHelper;
    return KAuth::HelperSupport::helperMain(argc, argv, WriteRequest::helperId, responder);
}

#include "confighelper.moc"
