// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/wheelguard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>

void WheelGuard::install(QWidget *page)
{
    auto *guard = new WheelGuard(page);
    QList<QWidget *> boxes;
    for (QAbstractSpinBox *spin : page->findChildren<QAbstractSpinBox *>()) {
        boxes.append(spin);
    }
    for (QComboBox *combo : page->findChildren<QComboBox *>()) {
        boxes.append(combo);
    }
    for (QWidget *box : std::as_const(boxes)) {
        // Not focused by the wheel itself (their default), only by a click or Tab.
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(guard);
    }
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus()) {
        return false;
    }
    // Ignored, the event goes on to the parents: the scroll area scrolls.
    event->ignore();
    return true;
}
