#pragma once
#include <QByteArray>
#include <QString>

#include <memory>

class ChildProcess;
class QTemporaryDir;

// A private D-Bus daemon for one test, of the session or the system type,
// stopped when the object goes. Connect with
// QDBusConnection::connectToBus(daemon.address(), name).
class DbusDaemon {
public:
    enum class Type { Session, System };

    explicit DbusDaemon(Type type = Type::Session);
    ~DbusDaemon();
    DbusDaemon(const DbusDaemon&) = delete;
    DbusDaemon& operator=(const DbusDaemon&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString error() const { return m_error; }
    QByteArray address() const { return m_address; }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ChildProcess> m_process;
    QByteArray m_address;
    QString m_error;
};
