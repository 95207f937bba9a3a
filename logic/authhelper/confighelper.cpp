// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

// The KAuth helper that writes a time service's configuration file as root.

#include "authhelper/chronyhelper.h"
#include "authhelper/writerequest.h"
#include "common/sysroot.h"

#include <KAuth/ActionReply>
#include <KAuth/HelperSupport>

#include <QObject>

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
    QString error;
    // The machine's own files, or the sandbox machine's when the bus that
    // started the helper named its root (the caller cannot choose it).
    if (!WriteRequest::execute(args, SysRoot::root(), &error)) {
        KAuth::ActionReply reply = KAuth::ActionReply::HelperErrorReply();
        reply.setErrorDescription(error);
        return reply;
    }
    return KAuth::ActionReply::SuccessReply();
}

KAUTH_HELPER_MAIN("org.kde.kcontrol.kcmzeladmintime", ConfigHelper)

#include "confighelper.moc"
