#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class ChildProcess;

// A private X server for one test: Xvfb started with -displayfd and
// -noreset, stopped when the object goes.
class XvfbServer {
public:
    XvfbServer(int width, int height);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool isRunning() const { return !m_displayName.isEmpty(); }
    QString error() const { return m_error; }
    // ":N", for XOpenDisplay and DISPLAY.
    QByteArray displayName() const { return m_displayName; }

    // Runs an X client (xrandr, xdotool) against this server; its exit code,
    // or -1 when it could not run.
    int runClient(const QString& program, const QStringList& arguments, QString* output = nullptr);

private:
    std::unique_ptr<ChildProcess> m_process;
    QByteArray m_displayName;
    QString m_error;
};
