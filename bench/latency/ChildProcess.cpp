#include "bench/latency/ChildProcess.h"

#include <QFile>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

ChildProcess::ChildProcess(const QList<QByteArray>& arguments, int inheritedFd)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return;
    QList<QByteArray> args = arguments;
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
        fcntl(inheritedFd, F_SETFD, 0);
        dup2(ready[1], STDOUT_FILENO);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    ::close(ready[1]);
    m_readyFd = ready[0];
}

ChildProcess::~ChildProcess()
{
    if (m_readyFd >= 0)
        ::close(m_readyFd);
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

bool ChildProcess::waitUntilReady(int timeoutMs)
{
    pollfd p{m_readyFd, POLLIN, 0};
    char byte = 0;
    return m_pid > 0 && poll(&p, 1, timeoutMs) == 1 && ::read(m_readyFd, &byte, 1) == 1;
}

std::int64_t ChildProcess::cpuNs() const
{
    clockid_t clock;
    timespec ts{};
    if (m_pid <= 0 || clock_getcpuclockid(m_pid, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

qint64 ChildProcess::statusValue(const char* key) const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return 0;
}
