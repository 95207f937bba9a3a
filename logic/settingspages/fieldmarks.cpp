// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/fieldmarks.h"

#include <QVariant>
#include <QWidget>

void markField(QWidget *field, bool invalid, const QString &why)
{
    if (field->property("invalid").toBool() == invalid && field->toolTip() == (invalid ? why : field->toolTip())) {
        return;
    }
    if (invalid) {
        if (!field->property("invalid").toBool()) {
            field->setProperty("normalToolTip", field->toolTip());
        }
        field->setToolTip(why);
        // Breeze's negative text colour.
        field->setStyleSheet(QStringLiteral("color: #da4453;"));
    } else {
        field->setToolTip(field->property("normalToolTip").toString());
        field->setStyleSheet(QString());
    }
    field->setProperty("invalid", invalid);
}
