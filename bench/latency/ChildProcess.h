#pragma once
#include <QByteArray>
#include <QList>

#include <cstdint>
#include <sys/types.h>

// This program started again in another role, handed one end of a socket.
// The child says it is ready by writing a byte to its standard output.
class ChildProcess {
public:
    ChildProcess(const QList<QByteArray>& arguments, int inheritedFd);
    ~ChildProcess(); // ends it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool waitUntilReady(int timeoutMs);
    // User plus system time so far, in nanoseconds, read while it runs.
    std::int64_t cpuNs() const;
    // Resident and peak resident memory in KiB.
    qint64 residentKiB() const { return statusValue("VmRSS:"); }
    qint64 peakResidentKiB() const { return statusValue("VmHWM:"); }

private:
    pid_t m_pid = -1;
    int m_readyFd = -1;

    qint64 statusValue(const char* key) const;
};
