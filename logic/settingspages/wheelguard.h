// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QObject>

class QWidget;

// Spin and combo boxes on a page that scrolls take the wheel only once they
// have the focus: turned over them on the way down the page, the wheel
// scrolls the page instead of changing a setting.
class WheelGuard : public QObject
{
public:
    // Guards every spin and combo box inside `page`.
    static void install(QWidget *page);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
