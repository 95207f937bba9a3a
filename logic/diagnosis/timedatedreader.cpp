// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "diagnosis/timedatedreader.h"

#include "common/sysroot.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

TimedatedReader::TimedatedReader(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

TimedatedReader::~TimedatedReader()
{
    cancel();
}

void TimedatedReader::read(int limitMs)
{
    if (m_watcher) {
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.timedate1"),
                                                          QStringLiteral("/org/freedesktop/timedate1"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("GetAll"));
    message << QStringLiteral("org.freedesktop.timedate1");
    // timedated is started on demand and ends when idle, as for the desktop's own page.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, limitMs), this);
    m_watcher = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_watcher = nullptr;
        const QDBusPendingReply<QVariantMap> reply = *watcher;
        DesktopSwitch desktop;
        if (reply.isError()) {
            desktop.error = reply.error().message().left(300);
            // Shown in parentheses inside a sentence.
            if (desktop.error.endsWith(QLatin1Char('.'))) {
                desktop.error.chop(1);
            }
        } else {
            const QVariantMap p = reply.value();
            desktop.read = true;
            desktop.ntp = p.value(QStringLiteral("NTP")).toBool();
            desktop.canNtp = p.value(QStringLiteral("CanNTP")).toBool();
            desktop.synchronized = p.value(QStringLiteral("NTPSynchronized")).toBool();
            desktop.units = Diagnosis::readNtpUnits(SysRoot::root());
        }
        m_last = desktop;
        Q_EMIT answered();
    });
}

void TimedatedReader::cancel()
{
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}
