// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QString>

class QWidget;

// Marks an input the page does not accept, and says why in its tool tip.
// The "invalid" property tells tests and style sheets the same.
void markField(QWidget *field, bool invalid, const QString &why = QString());
