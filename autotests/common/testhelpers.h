// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

namespace TestHelpers
{
QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &content);

// A page's widget by its name in the form.
template<typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found) {
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    }
    return found;
}

// systemd as a second client sees it (the sandbox maps --user in its system mode).
QString systemctl(const QString &arguments);

// A stock Debian configuration file as the sandbox's preparation unpacked it.
QByteArray stockFile(const QString &package, const QString &path);

// Whether this runs inside the sandbox machine, whose ntpdig never sets the
// clock and whose /usr/bin is its own.
bool insideSandbox();
}
