// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

// A nested event loop that the library waits in for systemd, a helper or a
// program, so that the window keeps painting. Whatever the loop delivers may
// delete the waiting object: the wait then ends at once and says so, and the
// caller must return without touching it.
class NestedWait
{
public:
    explicit NestedWait(const QObject *owner)
        : m_owner(owner)
    {
        QObject::connect(owner, &QObject::destroyed, &m_loop, &QEventLoop::quit);
    }

    // Ends the wait when `sender` emits `signal`.
    template<typename Sender, typename Signal>
    void quitOn(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, &m_loop, &QEventLoop::quit);
    }
    void quit()
    {
        m_loop.quit();
    }

    // Runs until quit, a signal given to quitOn(), timeoutMs (never when
    // negative) or the owner's end. False when the owner is gone.
    bool exec(int timeoutMs = -1, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
    {
        QTimer limit;
        if (timeoutMs >= 0) {
            limit.setSingleShot(true);
            QObject::connect(&limit, &QTimer::timeout, &m_loop, &QEventLoop::quit);
            limit.start(timeoutMs);
        }
        if (m_owner) {
            m_loop.exec(flags);
        }
        return !m_owner.isNull();
    }

private:
    QPointer<const QObject> m_owner;
    QEventLoop m_loop;
};
