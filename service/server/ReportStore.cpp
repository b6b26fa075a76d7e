#include "service/server/ReportStore.h"

#include <QDateTime>
#include <QJsonDocument>

#include <sqlite3.h>

namespace {

const char* const Schema = R"(
PRAGMA journal_mode=WAL;
PRAGMA synchronous=FULL;
CREATE TABLE IF NOT EXISTS reports (
  seq INTEGER PRIMARY KEY,
  id TEXT NOT NULL UNIQUE,
  received_at TEXT NOT NULL,
  report_type TEXT,
  app_version TEXT,
  platform TEXT,
  body TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS reports_received_at ON reports(received_at);
CREATE TABLE IF NOT EXISTS policy_checks (
  seq INTEGER PRIMARY KEY,
  received_at TEXT NOT NULL,
  install_event TEXT,
  version TEXT,
  platform TEXT,
  query TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS policy_checks_received_at ON policy_checks(received_at);
)";

QString lastError(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

QString compact(const QJsonObject& object) { return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)); }

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
}

} // namespace

std::unique_ptr<ReportStore> ReportStore::open(const QString& path, QString* error)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        *error = db ? lastError(db) : QStringLiteral("out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    char* message = nullptr;
    if (sqlite3_exec(db, Schema, nullptr, nullptr, &message) != SQLITE_OK) {
        *error = QString::fromUtf8(message ? message : "cannot create the tables");
        sqlite3_free(message);
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<ReportStore> store(new ReportStore(db));
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO reports (id, received_at, report_type, app_version, platform, body) "
                           "VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                           -1, &store->m_insertReport, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v2(db,
                              "INSERT INTO policy_checks (received_at, install_event, version, platform, query) "
                              "VALUES (?1, ?2, ?3, ?4, ?5)",
                              -1, &store->m_insertCheck, nullptr)
            != SQLITE_OK) {
        *error = lastError(db);
        return nullptr;
    }
    store->m_writer = std::thread([s = store.get()] { s->run(); });
    return store;
}

ReportStore::ReportStore(sqlite3* db) : m_db(db) {}

ReportStore::~ReportStore()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    sqlite3_finalize(m_insertReport);
    sqlite3_finalize(m_insertCheck);
    sqlite3_close(m_db);
}

QString ReportStore::now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

bool ReportStore::write(Record record, QString* error)
{
    Pending pending{std::move(record), false, QString()};
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        *error = QStringLiteral("the service is stopping");
        return false;
    }
    m_queue.push_back(&pending);
    m_queued.notify_one();
    m_committed.wait(lock, [&] { return pending.done; });
    *error = pending.error;
    return pending.error.isEmpty();
}

QString ReportStore::insert(const Record& record)
{
    const QJsonObject& body = record.body;
    const bool isReport = record.table == Table::Reports;
    sqlite3_stmt* statement = isReport ? m_insertReport : m_insertCheck;
    if (isReport) {
        bindText(statement, 1, record.id);
        bindText(statement, 2, record.receivedAt);
        bindText(statement, 3, body.value(QLatin1String("report_type")).toString());
        bindText(statement, 4, body.value(QLatin1String("app_version")).toString());
        bindText(statement, 5, body.value(QLatin1String("platform")).toString());
        bindText(statement, 6, compact(body));
    } else {
        bindText(statement, 1, record.receivedAt);
        bindText(statement, 2, body.value(QLatin1String("install_event")).toString());
        bindText(statement, 3, body.value(QLatin1String("version")).toString());
        bindText(statement, 4, body.value(QLatin1String("platform")).toString());
        bindText(statement, 5, compact(body));
    }
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return result == SQLITE_DONE ? QString() : lastError(m_db);
}

void ReportStore::run()
{
    for (;;) {
        std::deque<Pending*> batch;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            batch.swap(m_queue);
        }
        QString failure;
        if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            failure = lastError(m_db);
        for (Pending* pending : batch) {
            if (failure.isEmpty())
                pending->error = insert(pending->record);
        }
        if (failure.isEmpty() && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            failure = lastError(m_db);
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        {
            std::lock_guard lock(m_mutex);
            for (Pending* pending : batch) {
                if (!failure.isEmpty())
                    pending->error = failure;
                pending->done = true;
            }
        }
        m_committed.notify_all();
    }
}

bool ReportStore::read(const QString& path, Table table, const QString& since,
                       const std::function<void(const QJsonObject&)>& each, QString* error)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        *error = db ? lastError(db) : QStringLiteral("out of memory");
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 5000);
    const bool reports = table == Table::Reports;
    const char* sql = reports
        ? "SELECT id, received_at, body FROM reports WHERE received_at >= ?1 ORDER BY seq"
        : "SELECT NULL, received_at, query FROM policy_checks WHERE received_at >= ?1 ORDER BY seq";
    sqlite3_stmt* statement = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK;
    if (ok) {
        bindText(statement, 1, since);
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            QJsonObject row;
            if (reports)
                row.insert(QLatin1String("id"), columnText(statement, 0));
            row.insert(QLatin1String("received_at"), columnText(statement, 1));
            row.insert(reports ? QLatin1String("report") : QLatin1String("query"),
                       QJsonDocument::fromJson(columnText(statement, 2).toUtf8()).object());
            each(row);
        }
        ok = step == SQLITE_DONE;
    }
    if (!ok)
        *error = lastError(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return ok;
}
