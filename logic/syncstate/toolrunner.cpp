// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "syncstate/toolrunner.h"

#include <KLocalizedString>

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{
// The environment of every run: the module's own, in the C locale. Read once:
// it does not change under a running module.
char *const *toolEnvironment()
{
    static const std::vector<QByteArray> strings = [] {
        std::vector<QByteArray> e;
        for (char **entry = environ; *entry; ++entry) {
            if (qstrncmp(*entry, "LC_ALL=", 7) != 0) {
                e.emplace_back(*entry);
            }
        }
        e.emplace_back("LC_ALL=C");
        return e;
    }();
    static const std::vector<char *> pointers = [] {
        std::vector<char *> p;
        for (const QByteArray &entry : strings) {
            p.push_back(const_cast<char *>(entry.constData()));
        }
        p.push_back(nullptr);
        return p;
    }();
    return pointers.data();
}

int pidfdOpen(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid)
    errno = ENOSYS;
    return -1;
#endif
}

// Calls `exited` once the child has ended: on its pidfd, or every 10 ms where
// the kernel has none.
void watchExit(QObject *owner, pid_t pid, const std::function<void()> &exited)
{
    const int pidfd = pidfdOpen(pid);
    if (pidfd >= 0) {
        auto *notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, pidfd, exited] {
            notifier->setEnabled(false);
            ::close(pidfd);
            exited();
        });
        return;
    }
    auto *poll = new QTimer(owner);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, pid, exited] {
        siginfo_t info{};
        if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
            poll->stop();
            exited();
        }
    });
    poll->start(10);
}

}

// One run. Started with posix_spawn, which starts the program without copying
// the module's memory: QProcess's fork() copies its page tables, and the GUI
// thread then pays a copy-on-write fault for each page it writes until the
// program has started, most of a refresh's cost.
class SpawnedTool : public QObject
{
public:
    std::function<void(const ToolOutput &)> ended;

    // Null, with why, when the program could not be started.
    static SpawnedTool *start(const QString &program, const QStringList &arguments, QString *why, QObject *parent)
    {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC | O_NONBLOCK) != 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return nullptr;
        }
        if (::pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            ::close(out[0]), ::close(out[1]);
            return nullptr;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        // The module ignores SIGPIPE; a tool must not inherit that.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigset_t pipe;
        sigemptyset(&none);
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &pipe);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        const QByteArray path = QFile::encodeName(program);
        std::vector<QByteArray> strings{path};
        for (const QString &argument : arguments) {
            strings.push_back(argument.toLocal8Bit());
        }
        std::vector<char *> argv;
        for (QByteArray &string : strings) {
            argv.push_back(string.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int failed = ::posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), toolEnvironment());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(out[1]);
        ::close(err[1]);
        if (failed != 0) {
            *why = QString::fromLocal8Bit(std::strerror(failed));
            ::close(out[0]), ::close(err[0]);
            return nullptr;
        }
        return new SpawnedTool(pid, out[0], err[0], parent);
    }

    ~SpawnedTool() override
    {
        stop();
    }

    // No answer any more; what still runs is killed, and reaped once gone
    // without waiting here.
    void stop()
    {
        ended = nullptr;
        closeOutputs();
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            auto *reaper = new QObject;
            const pid_t pid = m_pid;
            m_pid = 0;
            watchExit(reaper, pid, [reaper, pid] {
                ::waitpid(pid, nullptr, 0);
                reaper->deleteLater();
            });
        }
    }

private:
    SpawnedTool(pid_t pid, int out, int err, QObject *parent)
        : QObject(parent)
        , m_pid(pid)
        , m_fds{out, err}
    {
        for (int i = 0; i < 2; ++i) {
            m_notifiers[i] = new QSocketNotifier(m_fds[i], QSocketNotifier::Read, this);
            connect(m_notifiers[i], &QSocketNotifier::activated, this, [this, i] {
                drain(i);
            });
        }
        watchExit(this, pid, [this] {
            exited();
        });
    }

    // Reads what is there without blocking; at the end closes it.
    void drain(int i)
    {
        char buffer[16384];
        while (m_fds[i] >= 0) {
            const ssize_t n = ::read(m_fds[i], buffer, sizeof buffer);
            if (n > 0) {
                m_data[i].append(buffer, int(n));
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n == 0 || errno != EAGAIN) {
                    closeOutput(i);
                }
                return;
            }
        }
    }

    void exited()
    {
        int status = 0;
        const pid_t reaped = ::waitpid(m_pid, &status, 0);
        m_pid = 0;
        // What it wrote before it ended is in the pipes; a child of its own
        // that still holds them is not waited for.
        drain(0);
        drain(1);
        closeOutputs();
        ToolOutput result;
        result.ran = reaped > 0 && WIFEXITED(status);
        result.exitCode = result.ran ? WEXITSTATUS(status) : -1;
        result.output = m_data[0];
        result.error = QString::fromLocal8Bit(m_data[1]).trimmed().left(300);
        if (const auto answer = std::move(ended)) {
            answer(result);
        }
    }

    void closeOutput(int i)
    {
        if (m_fds[i] >= 0) {
            delete m_notifiers[i];
            m_notifiers[i] = nullptr;
            ::close(m_fds[i]);
            m_fds[i] = -1;
        }
    }

    void closeOutputs()
    {
        closeOutput(0);
        closeOutput(1);
    }

    pid_t m_pid;
    int m_fds[2];
    QSocketNotifier *m_notifiers[2] = {nullptr, nullptr};
    QByteArray m_data[2];
};

ToolRunner::ToolRunner(QObject *parent)
    : QObject(parent)
{
    m_limit.setSingleShot(true);
}

ToolRunner::~ToolRunner()
{
    cancel();
}

void ToolRunner::run(const QString &program, const QStringList &arguments, int limitMs, Done done)
{
    cancel();
    m_done = std::move(done);
    const quint64 serial = ++m_serial;
    m_limit.disconnect(this);
    connect(&m_limit, &QTimer::timeout, this, [this, serial, limitMs] {
        ToolOutput result;
        result.error = ki18nd("kcm_zel_admin_time", "No answer within %1 seconds.").subs(limitMs / 1000).toString();
        finish(serial, result);
    });
    m_limit.start(qMax(0, limitMs));
    // Started from the event loop: not even a failure answers from inside run().
    QTimer::singleShot(0, this, [this, serial, program, arguments] {
        if (serial != m_serial) {
            return;
        }
        QString why;
        SpawnedTool *process = SpawnedTool::start(program, arguments, &why, this);
        if (!process) {
            ToolOutput result;
            result.error = ki18nd("kcm_zel_admin_time", "The program %1 could not be started: %2").subs(program).subs(why).toString();
            finish(serial, result);
            return;
        }
        m_process = process;
        process->ended = [this, serial](const ToolOutput &result) {
            finish(serial, result);
        };
    });
}

void ToolRunner::finish(quint64 serial, const ToolOutput &result)
{
    // Late news of a run given up on.
    if (serial != m_serial || !m_done) {
        return;
    }
    const Done done = std::move(m_done);
    cancel();
    done(result);
}

void ToolRunner::cancel()
{
    ++m_serial;
    m_done = nullptr;
    m_limit.stop();
    // Possibly called from inside its own answer: deleted from the event loop.
    if (m_process) {
        m_process->stop();
        m_process->deleteLater();
        m_process = nullptr;
    }
}
