// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>
#include <QValidator>

namespace ServerAddress
{
// A host name (RFC 1123 labels), an IPv4 address or an IPv6 address. Nothing
// else is ever handed to a configuration file or a command line.
bool isValid(const QString &address);
}

// Validates as the user types: Intermediate while the text can still become
// a valid address, Acceptable once it is one.
class ServerAddressValidator : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};
