#pragma once
#include <QByteArray>
#include <QString>

#include <mutex>
#include <optional>

// The app-policy document the service hands out, read from a file and read
// again whenever the file changes, so a maker edits it without a restart.
// A file that does not hold a JSON object is logged and the last good
// document stays in force. Safe from any thread.
class PolicyDocument {
public:
    explicit PolicyDocument(QString path) : m_path(std::move(path)) {}

    // The current document as compact JSON; none when no good one was ever read.
    std::optional<QByteArray> current();

private:
    struct Signature {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        bool operator==(const Signature&) const = default;
    };

    QString m_path;
    std::mutex m_mutex;
    std::optional<Signature> m_signature;
    std::optional<QByteArray> m_document;
};
