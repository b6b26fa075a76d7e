#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class ChildProcess;

// The real velotap-service, started for one test on a free loopback port
// with its own database and policy file.
class ReferenceService {
public:
    explicit ReferenceService(const QJsonObject& policy = {});
    ~ReferenceService();
    ReferenceService(const ReferenceService&) = delete;
    ReferenceService& operator=(const ReferenceService&) = delete;

    // Starts (again) on the same database; the port may change.
    bool start();
    // Ends the process the way a crash does (SIGKILL), or politely (SIGTERM).
    void kill();
    void stop();

    bool isRunning() const;
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT/api/v1"
    QString baseURL() const;
    QString databasePath() const { return m_dir.filePath(QStringLiteral("service.db")); }

    // Replaces the policy file at once (the service reads it again).
    void setPolicy(const QJsonObject& policy);
    void setPolicyText(const QByteArray& text);

    // What `velotap-service reports` and `checks` print, one object per record.
    QList<QJsonObject> reports(const QString& since = {}) const;
    QList<QJsonObject> checks(const QString& since = {}) const;
    // Runs the executable with these arguments; its exit code and output.
    static int runCommand(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr);

    static QString executable();

private:
    QList<QJsonObject> records(const QString& command, const QString& since) const;

    QTemporaryDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    quint16 m_port = 0;
    QString m_error;
};
