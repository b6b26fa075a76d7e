#pragma once
#include "tests/support/XvfbServer.h"

#include <QByteArray>
#include <QString>

#include <memory>

class ChildProcess;

// A desktop for one test binary: a private Xvfb with openbox managing its
// windows. DESKTOP tests run their QApplication on it; current() is null
// (and the tests skip) when it could not start.
class DesktopSession {
public:
    static constexpr int kWidth = 1600;
    static constexpr int kHeight = 900;

    DesktopSession();
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool isRunning() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QByteArray displayName() const { return m_server.displayName(); }
    XvfbServer& server() { return m_server; }

    static DesktopSession* current();

private:
    bool waitForWindowManager(int timeoutMs);

    XvfbServer m_server;
    std::unique_ptr<ChildProcess> m_windowManager;
    QString m_error;
};
