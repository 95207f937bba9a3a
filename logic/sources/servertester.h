// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "syncstate/sourceparsers.h"

#include <QObject>
#include <QPointer>

class QProcess;
class QSslSocket;
class QTimer;

// Asks one server for the time without setting the clock (ntpdig without its
// clock options), and for an NTS server whether its key exchange works. One
// test at a time; each start() is answered once, from the event loop, by
// finished().
class ServerTester : public QObject
{
    Q_OBJECT

public:
    explicit ServerTester(QObject *parent = nullptr);
    ~ServerTester() override;

    // A malformed address is refused here and never reaches a program.
    void start(const QString &address, bool nts);
    bool isRunning() const;
    // The whole test is stopped and reported after this.
    void setTimeLimit(int milliseconds);

Q_SIGNALS:
    void finished(const ServerCheck &check);

private:
    void queried(const ServerCheck &check);
    void checkNts();
    void ntsAnswered(const QByteArray &records);
    void finish();
    void stop();

    QString m_address;
    bool m_nts = false;
    int m_timeLimit = 15000;
    ServerCheck m_check;
    QPointer<QProcess> m_process;
    QPointer<QSslSocket> m_socket;
    QTimer *m_timer;
    bool m_running = false;
};
