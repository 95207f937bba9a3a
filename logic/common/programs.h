// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

// Programs the library runs, by fixed absolute paths: never looked up through
// PATH, since several run as root through pkexec and a user's own folder in
// PATH must not decide what that is. The sandbox machine binds its stand-ins
// over these paths in its own mount namespace.
namespace Programs
{
inline QString pkexec()
{
    return QStringLiteral("/usr/bin/pkexec");
}
inline QString shell()
{
    return QStringLiteral("/bin/sh");
}
inline QString ntpdig()
{
    return QStringLiteral("/usr/bin/ntpdig");
}
inline QString synapticPkexec()
{
    return QStringLiteral("/usr/bin/synaptic-pkexec");
}
inline QString aptHelper()
{
    return QStringLiteral("/usr/lib/apt/apt-helper");
}
inline QString chronyc()
{
    return QStringLiteral("/usr/bin/chronyc");
}
inline QString ntpq()
{
    return QStringLiteral("/usr/bin/ntpq");
}
inline QString ntpctl()
{
    return QStringLiteral("/usr/sbin/ntpctl");
}
}
