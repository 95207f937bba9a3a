// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class SpawnedTool;

// What one run of a service's tool gave.
struct ToolOutput {
    bool ran = false; // started and ended by itself, whatever its exit code
    int exitCode = -1;
    QByteArray output; // standard output
    QString error; // standard error, or why it did not run

    bool succeeded() const
    {
        return ran && exitCode == 0;
    }
};

// Runs one of the services' own tools at its fixed path, in the C locale,
// without input, in the background and with a time limit. One run at a time;
// its answer comes once, from the event loop, and never after the limit or
// after cancel(): a late answer is dropped and the program killed.
class ToolRunner : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const ToolOutput &)>;

    explicit ToolRunner(QObject *parent = nullptr);
    ~ToolRunner() override;

    // A program that cannot start answers with ran false and why.
    void run(const QString &program, const QStringList &arguments, int limitMs, Done done);
    void cancel();
    bool isRunning() const
    {
        return bool(m_done);
    }

private:
    void finish(quint64 serial, const ToolOutput &result);

    QPointer<SpawnedTool> m_process;
    QTimer m_limit;
    Done m_done;
    quint64 m_serial = 0;
};
