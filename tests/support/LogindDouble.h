#pragma once
#include <QByteArray>
#include <QString>

#include <memory>

class QThread;

// The few parts of systemd-logind the application uses (PrepareForSleep,
// Inhibit, the session's Active property, the user's display session), served on a bus of the test's
// own from a thread of its own, so blocking calls from the test's thread are
// answered. A lock handed out by Inhibit is one end of a pipe: the double
// sees when the caller lets go of it.
class LogindDouble {
public:
    static inline const QString SessionId = QStringLiteral("7");
    static inline const QString SessionPath = QStringLiteral("/org/freedesktop/login1/session/_37");
    static inline const QString UserPath = QStringLiteral("/org/freedesktop/login1/user/self");

    explicit LogindDouble(const QByteArray& busAddress);
    ~LogindDouble();

    bool isServing() const { return m_serving; }
    void prepareForSleep(bool start);
    void setActive(bool active);
    // As for a process that runs outside any session (a service of the
    // user's systemd): GetSessionByPID fails, the user's Display names it.
    void setCallerOutsideSessions(bool outside);
    int inhibitCalls() const;
    // Whether the last lock handed out is still open at the caller.
    bool lockHeld() const;

    class Service;

private:
    std::unique_ptr<QThread> m_thread;
    Service* m_service = nullptr;
    QString m_connectionName;
    bool m_serving = false;
};
