// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include "diagnosis/diagnosis.h"

#include <QObject>
#include <QPointer>

class QWidget;
class ToolRunner;

// Runs one of a finding's safe fixes: chronyc itself as root, otherwise the
// KAuth helper's allowlisted action, which polkit asks about.
class ChronyFix : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Done, NotAuthorized, Failed };

    explicit ChronyFix(QObject *parent = nullptr);

    // One at a time; `finished` comes from the event loop.
    bool run(Finding::Fix fix, QWidget *window);
    bool isRunning() const
    {
        return m_running;
    }
    // Whether to go through the helper; root runs chronyc itself.
    void setThroughHelper(bool throughHelper)
    {
        m_throughHelper = throughHelper;
    }

Q_SIGNALS:
    // `detail`: chronyc's or the helper's words when it did not work.
    void finished(Finding::Fix fix, ChronyFix::Outcome outcome, const QString &detail);

private:
    void done(Finding::Fix fix, Outcome outcome, const QString &detail);

    ToolRunner *m_runner;
    bool m_throughHelper;
    bool m_running = false;
};

Q_DECLARE_METATYPE(Finding::Fix)
Q_DECLARE_METATYPE(ChronyFix::Outcome)
