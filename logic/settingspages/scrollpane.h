// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QScrollArea>

// A scroll area a screen reader can walk while its bars come and go.
// Qt's own accessible scroll area answers "child i" without checking i
// against its children, which are the viewport plus the bars that show: a
// reader that counted them before a resize hid a bar asks one past the end,
// and the host crashes. This one answers such a question with nothing.
class ScrollPane : public QScrollArea
{
    Q_OBJECT

public:
    explicit ScrollPane(QWidget *parent = nullptr);
};
