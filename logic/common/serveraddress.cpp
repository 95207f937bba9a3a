// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "common/serveraddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace ServerAddress
{
static bool isHostName(const QString &name)
{
    // One trailing dot marks a fully qualified name.
    QString text = name;
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    if (text.isEmpty() || text.size() > 253) {
        return false;
    }
    static const QRegularExpression label(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?")));
    const auto labels = text.split(QLatin1Char('.'));
    for (const QString &part : labels) {
        if (!label.match(part).hasMatch()) {
            return false;
        }
    }
    // An all-numeric dotted name is a malformed IPv4 address, not a host.
    static const QRegularExpression numeric(QRegularExpression::anchoredPattern(QStringLiteral("[0-9.]+")));
    return !numeric.match(text).hasMatch();
}

static bool isIpAddress(const QString &text)
{
    // QHostAddress accepts scope ids and odd forms; keep to plain literals.
    static const QRegularExpression ipChars(QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f:.]+")));
    if (!ipChars.match(text).hasMatch()) {
        return false;
    }
    QHostAddress address;
    if (!address.setAddress(text)) {
        return false;
    }
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        static const QRegularExpression dotted(QRegularExpression::anchoredPattern(QStringLiteral("(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})")));
        return dotted.match(text).hasMatch();
    }
    return address.protocol() == QAbstractSocket::IPv6Protocol;
}

bool isValid(const QString &address)
{
    if (address.isEmpty() || address.size() > 253) {
        return false;
    }
    return isIpAddress(address) || isHostName(address);
}
}

QValidator::State ServerAddressValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    if (ServerAddress::isValid(input)) {
        return Acceptable;
    }
    static const QRegularExpression allowed(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9.:-]{0,253}")));
    return allowed.match(input).hasMatch() ? Intermediate : Invalid;
}
