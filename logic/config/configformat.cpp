// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "config/configformat.h"

#include "config/directiveconfig.h"
#include "config/timesyncdconfig.h"

namespace ConfigFormat
{
static DirectiveFormat directiveFormat(PackageIndex service)
{
    switch (service) {
    case NtpsecPackage:
        return DirectiveFormat::Ntpsec;
    case OpenntpdPackage:
        return DirectiveFormat::Openntpd;
    default:
        return DirectiveFormat::Chrony;
    }
}

QStringList problems(PackageIndex service, const QByteArray &bytes)
{
    if (service == TimesyncdPackage) {
        return TimesyncdConfig::problems(bytes);
    }
    return DirectiveConfig::problems(directiveFormat(service), bytes);
}

bool isEditableLine(PackageIndex service, const QByteArray &text)
{
    if (service == TimesyncdPackage) {
        return TimesyncdConfig::isEditableLine(text);
    }
    return DirectiveConfig::isEditableLine(directiveFormat(service), text);
}

QStringList serverNames(PackageIndex service, const QByteArray &bytes)
{
    if (service == TimesyncdPackage) {
        return TimesyncdConfig::serverNames(TimesyncdConfig::parse(bytes).settings());
    }
    return DirectiveConfig::serverNames(DirectiveConfig::parse(directiveFormat(service), bytes).settings());
}
}
