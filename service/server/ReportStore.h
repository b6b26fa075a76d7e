#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct sqlite3;
struct sqlite3_stmt;

// The service's SQLite database: compatibility reports and the app-policy
// checks. One writer thread commits whatever has queued up in a single
// transaction (group commit), so every acknowledged write is on disk
// (WAL, synchronous FULL) and many clients still cost one fsync per batch.
class ReportStore {
public:
    enum class Table { Reports, PolicyChecks };

    struct Record {
        Table table = Table::Reports;
        QString id;         // reports only
        QString receivedAt; // ISO 8601, UTC
        QJsonObject body;   // the report, or the policy query
    };

    // Opens or creates the database; null with a reason when it cannot.
    static std::unique_ptr<ReportStore> open(const QString& path, QString* error);
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // Blocks until the record is committed; false with a reason when it
    // was not stored. Safe from any thread.
    bool write(Record record, QString* error);

    // Reads the records of a table received at or after `since` (ISO 8601,
    // UTC; empty for all), oldest first, each as {"id"?, "received_at", body key}.
    static bool read(const QString& path, Table table, const QString& since,
                     const std::function<void(const QJsonObject&)>& each, QString* error);

    static QString now();

private:
    struct Pending {
        Record record;
        bool done = false;
        QString error;
    };

    explicit ReportStore(sqlite3* db);
    void run();
    QString insert(const Record& record);

    sqlite3* m_db;
    sqlite3_stmt* m_insertReport = nullptr;
    sqlite3_stmt* m_insertCheck = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_committed;
    std::deque<Pending*> m_queue;
    bool m_stopping = false;
    std::thread m_writer;
};
