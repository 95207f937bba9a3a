// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QObject>
#include <QString>

class QProcess;

// Steps the clock once from one server with ntpdig, without blocking the
// event loop. Each accepted start() is answered exactly once, later, by
// succeeded() or failed(); several may run at the same time.
class OneShotSync : public QObject
{
    Q_OBJECT

public:
    explicit OneShotSync(QObject *parent = nullptr);
    ~OneShotSync() override;

    // False when the address is refused: then nothing runs and failed() says
    // why. A start that runs may still fail (no ntpdig, no answer...).
    bool start(const QString &address);

    // ntpdig's own wait for one server's answer, in seconds.
    void setRequestTimeout(int seconds);
    // After this the run is killed and reported as failed.
    void setTimeLimit(int milliseconds);
    // Through pkexec: the default when not running as root.
    void setUsePkexec(bool use);

Q_SIGNALS:
    void succeeded();
    void failed(const QString &message);

private:
    void failLater(const QString &message);
    static void stop(QProcess *process);
    void run(QProcess *process);

    int m_requestTimeout;
    int m_timeLimit;
    bool m_usePkexec;
};
