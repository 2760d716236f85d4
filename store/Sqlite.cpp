#include "Sqlite.h"

#include <sqlite3.h>

#include <QFile>
#include <QTimeZone>

#include <cstdio>

namespace zirv::sql {

int64_t toStoredDate(const QDateTime& date)
{
    return date.toMSecsSinceEpoch();
}

QDateTime fromStoredDate(int64_t milliseconds)
{
    return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC);
}

bool FaultHook::takeFailure()
{
    int current = failSaveCountdown.load(std::memory_order_relaxed);
    while (current > 0) {
        if (failSaveCountdown.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel))
            return current == 1;
    }
    return false;
}

// ---------------------------------------------------------------------------

std::unique_ptr<Database> Database::open(const QString& path, const Options& options,
                                         QString* error)
{
    int flags = SQLITE_OPEN_NOMUTEX;
    if (options.readOnly)
        flags |= SQLITE_OPEN_READONLY;
    else
        flags |= SQLITE_OPEN_READWRITE | (options.create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close_v2(handle);
        return nullptr;
    }
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, options.busyTimeoutMs);
    std::unique_ptr<Database> db(new Database(handle, options.faults));
    // Reading the journal mode touches the file header, so a file that is
    // not a store fails here rather than on the first query.
    const char* setup = options.readOnly
        ? "PRAGMA foreign_keys=ON; PRAGMA query_only=ON; SELECT count(*) FROM sqlite_schema;"
        : "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; PRAGMA temp_store=MEMORY; "
          "SELECT count(*) FROM sqlite_schema;";
    if (!db->exec(setup)) {
        if (error)
            *error = db->lastError();
        return nullptr;
    }
    return db;
}

Database::~Database()
{
    for (auto& [sql, cached] : m_cache)
        sqlite3_finalize(cached.stmt);
    sqlite3_close_v2(m_db);
}

Statement Database::prepare(std::string_view sql)
{
    auto it = m_cache.find(sql);
    if (it != m_cache.end() && !it->second.inUse) {
        it->second.inUse = true;
        return Statement(it->second.stmt, &it->second.inUse);
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &stmt, nullptr)
        != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return Statement();
    }
    if (it != m_cache.end()) // the cached one is busy (a nested use): a statement of its own
        return Statement(stmt, nullptr);
    auto [inserted, ok] = m_cache.emplace(std::string(sql), Cached {stmt, true});
    return Statement(stmt, &inserted->second.inUse);
}

bool Database::control(const char* verb, int level)
{
    // Transaction control runs often (every save): prepared once per level.
    const std::string_view text(verb);
    if (text.back() != 's') {
        Statement stmt = prepare(text);
        return stmt.isValid() && stmt.run();
    }
    char named[40];
    const int length = std::snprintf(named, sizeof named, "%s%d", verb, level);
    Statement stmt = prepare(std::string_view(named, static_cast<size_t>(length)));
    return stmt.isValid() && stmt.run();
}

bool Database::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString Database::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

int64_t Database::changes() const
{
    return sqlite3_changes64(m_db);
}

// ---------------------------------------------------------------------------

Statement::~Statement()
{
    if (!m_stmt)
        return;
    if (m_inUse) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        *m_inUse = false;
    } else {
        sqlite3_finalize(m_stmt);
    }
}

void Statement::bindNull(int index)
{
    sqlite3_bind_null(m_stmt, index);
}

void Statement::bind(int index, int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

void Statement::bind(int index, double value)
{
    sqlite3_bind_double(m_stmt, index, value);
}

void Statement::bind(int index, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const QUuid& value)
{
    const QByteArray bytes = value.toRfc4122();
    sqlite3_bind_blob(m_stmt, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const QDateTime& value)
{
    if (value.isValid())
        bind(index, toStoredDate(value));
    else
        bindNull(index);
}

Statement::Step Statement::step()
{
    if (!m_stmt)
        return Step::error;
    switch (sqlite3_step(m_stmt)) {
    case SQLITE_ROW:
        return Step::row;
    case SQLITE_DONE:
        return Step::done;
    default:
        return Step::error;
    }
}

bool Statement::run()
{
    for (;;) {
        switch (step()) {
        case Step::row:
            continue;
        case Step::done:
            return true;
        case Step::error:
            return false;
        }
    }
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

int64_t Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
}

QUuid Statement::uuid(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (size != 16)
        return QUuid();
    return QUuid::fromRfc4122(QByteArrayView(data, size));
}

QDateTime Statement::date(int column) const
{
    return fromStoredDate(int64(column));
}

// ---------------------------------------------------------------------------

Transaction::Transaction(Database& db) : m_db(db)
{
    m_level = db.m_depth;
    const bool begun = db.control(m_level == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT s", m_level);
    if (begun) {
        m_active = true;
        ++db.m_depth;
    }
}

Transaction::~Transaction()
{
    if (m_active)
        rollback();
}

bool Transaction::commit()
{
    if (!m_active)
        return false;
    if (m_db.m_faults && m_db.m_faults->takeFailure()) {
        rollback();
        return false;
    }
    const bool ok = m_db.control(m_level == 0 ? "COMMIT" : "RELEASE s", m_level);
    if (!ok) {
        rollback();
        return false;
    }
    m_active = false;
    --m_db.m_depth;
    return true;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    if (m_level == 0) {
        m_db.control("ROLLBACK", 0);
    } else {
        m_db.control("ROLLBACK TO s", m_level);
        m_db.control("RELEASE s", m_level);
    }
    m_active = false;
    --m_db.m_depth;
}

} // namespace zirv::sql
