#include "tests/support/XvfbServer.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

XvfbServer::XvfbServer(int width, int height)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe failed");
        return;
    }
    // Everything the child needs is prepared before fork.
    const QByteArray fd = QByteArray::number(fds[1]);
    const QByteArray screen = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
    std::vector<QByteArray> args = {"Xvfb", "-displayfd", fd, "-noreset", "-nolisten", "tcp",
                                    "-screen", "0", screen};
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    m_pid = fork();
    if (m_pid == 0) {
        fcntl(fds[1], F_SETFD, 0);
        const int devNull = open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        // A test that crashes takes its server with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        m_error = QStringLiteral("fork failed");
        return;
    }
    // Xvfb writes the display number and a newline once it accepts clients.
    QByteArray number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!number.endsWith('\n') && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buffer[32];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        number.append(buffer, static_cast<int>(n));
    }
    close(fds[0]);
    if (!number.endsWith('\n')) {
        m_error = QStringLiteral("Xvfb did not start");
        return;
    }
    m_displayName = ':' + number.trimmed();
}

XvfbServer::~XvfbServer()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

int XvfbServer::runClient(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_displayName));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
