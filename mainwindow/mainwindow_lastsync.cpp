// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "mainwindow.h"

#include "logiccontroller.h"

#include <KLocalizedString>

#include <QLabel>
#include <QSettings>
#include <QTimer>

namespace
{
const QString disableKey = QStringLiteral("disable_last_info");
}

bool MainWindow::isGettingLastSynchroInfoDisabled() const
{
    return QSettings().value(disableKey, false).toBool();
}

void MainWindow::disableGettingLastSynchroInfo()
{
    QSettings().setValue(disableKey, true);
    // Nothing is loading any more, and nothing will.
    statusIconLabel->setToolTip(QString());
}

void MainWindow::requestLastSynchroInfo()
{
    // One request at a time, and none once a request has timed out.
    if (lastSynchroInfoRequested || isGettingLastSynchroInfoDisabled()) {
        return;
    }
    controller->getLastSynchroInfoAsync(updateTimer->interval());
    lastSynchroInfoRequested = true;
    statusIconLabel->setToolTip(ki18nd("kcm_zel_admin_time", "Last synchronization info is loading...").toString());
}

void MainWindow::setLastSynchroToolTip(const LastSynchroInfo &info)
{
    lastSynchroInfoRequested = false;
    if (lastStatusState != ServiceSynchronized || info.server.isEmpty()) {
        statusIconLabel->setToolTip(QString());
        return;
    }
    // One substitution of all four: a field that itself contains "%1" stays as it is.
    const QString toolTip = QStringLiteral("%1\n%2\n%3\n%4")
                                .arg(ki18nd("kcm_zel_admin_time", "Last synchronization").toString(),
                                     QString(ki18nd("kcm_zel_admin_time", "Date: ").toString() + info.date),
                                     QString(ki18nd("kcm_zel_admin_time", "Time: ").toString() + info.time),
                                     QString(ki18nd("kcm_zel_admin_time", "Server: ").toString() + info.server));
    statusIconLabel->setToolTip(toolTip);
}
