// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/timesyncdreader.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QHostAddress>

#include <sys/socket.h>

namespace
{
// ServerAddress (iay): address family and the address's bytes.
QString addressText(const QVariant &value)
{
    if (!value.canConvert<QDBusArgument>()) {
        return {};
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    qint32 family = 0;
    QByteArray bytes;
    argument.beginStructure();
    argument >> family >> bytes;
    argument.endStructure();
    if (family == AF_INET && bytes.size() == 4) {
        const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
        return QHostAddress(quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3])).toString();
    }
    if (family == AF_INET6 && bytes.size() == 16) {
        return QHostAddress(reinterpret_cast<const quint8 *>(bytes.constData())).toString();
    }
    return {};
}

// NTPMessage (uuuuittayttttbtt): the last answer from the server, times in
// microseconds of the realtime clock.
void readMessage(const QVariant &value, TimesyncdSources *sources)
{
    if (!value.canConvert<QDBusArgument>()) {
        return;
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(uuuuittayttttbtt)")) {
        return;
    }
    quint32 version = 0, mode = 0;
    qint32 precision = 0;
    quint64 packets = 0;
    QByteArray referenceId;
    bool spike = false;
    argument.beginStructure();
    argument >> sources->leap >> version >> mode >> sources->stratum >> precision >> sources->rootDelayUSec >> sources->rootDispersionUSec >> referenceId;
    argument >> sources->origin >> sources->receive >> sources->transmit >> sources->destination >> spike >> packets >> sources->jitterUSec;
    argument.endStructure();
}
}

TimesyncdReader::TimesyncdReader(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

TimesyncdReader::~TimesyncdReader()
{
    cancel();
}

void TimesyncdReader::read(int limitMs, Done done)
{
    cancel();
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.timesync1"),
                                                          QStringLiteral("/org/freedesktop/timesync1"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("GetAll"));
    message << QStringLiteral("org.freedesktop.timesync1.Manager");
    // Asking must never start timesyncd through bus activation.
    message.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, limitMs), this);
    m_watcher = watcher;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, done] {
        watcher->deleteLater();
        m_watcher = nullptr;
        const QDBusPendingReply<QVariantMap> reply = *watcher;
        TimesyncdSources sources;
        if (reply.isError()) {
            const QDBusError::ErrorType type = reply.error().type();
            m_absent = type == QDBusError::ServiceUnknown || type == QDBusError::UnknownObject || type == QDBusError::UnknownInterface;
            done(sources, reply.error().message());
            return;
        }
        m_absent = false;
        const QVariantMap p = reply.value();
        sources.serverName = p.value(QStringLiteral("ServerName")).toString();
        sources.serverAddress = addressText(p.value(QStringLiteral("ServerAddress")));
        sources.linkServers = p.value(QStringLiteral("LinkNTPServers")).toStringList();
        sources.systemServers = p.value(QStringLiteral("SystemNTPServers")).toStringList();
        sources.runtimeServers = p.value(QStringLiteral("RuntimeNTPServers")).toStringList();
        sources.fallbackServers = p.value(QStringLiteral("FallbackNTPServers")).toStringList();
        sources.pollUSec = p.value(QStringLiteral("PollIntervalUSec")).toULongLong();
        sources.rootDistanceMaxUSec = p.value(QStringLiteral("RootDistanceMaxUSec")).toULongLong();
        readMessage(p.value(QStringLiteral("NTPMessage")), &sources);
        sources.nowUSec = quint64(QDateTime::currentMSecsSinceEpoch()) * 1000;
        done(sources, {});
    });
}

void TimesyncdReader::cancel()
{
    if (m_watcher) {
        m_watcher->disconnect(this);
        m_watcher->deleteLater();
        m_watcher = nullptr;
    }
}
