#pragma once
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

// A helper process of a test (a server, a bus, a window manager): it ends
// with the test, also when the test crashes, and going away it asks the
// process to quit before killing it.
class ChildProcess final : public QProcess {
public:
    ChildProcess()
    {
        setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    }
    ~ChildProcess() override
    {
        if (state() == QProcess::NotRunning)
            return;
        terminate();
        if (!waitForFinished(5000))
            kill();
        waitForFinished(5000);
    }
};
