#include "devserver/Database.h"

#include <sqlite3.h>

#include <cstdio>

namespace zirv::devserver {

namespace {

// Schema version 1. Every user-data record is kept as its wire text beside the
// columns the server selects and orders on.
constexpr const char* kSchema = R"sql(
PRAGMA journal_mode = WAL;
PRAGMA synchronous = NORMAL;
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value INTEGER NOT NULL);
INSERT OR IGNORE INTO meta (key, value) VALUES ('schemaVersion', 1), ('sequence', 0);
CREATE TABLE IF NOT EXISTS accounts (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE COLLATE NOCASE,
    salt BLOB NOT NULL,
    passwordHash BLOB NOT NULL,
    iterations INTEGER NOT NULL,
    regionCode TEXT NOT NULL,
    languageCode TEXT NOT NULL,
    whenCreated TEXT NOT NULL,
    subscriptionExpiry TEXT NOT NULL,
    totalDataStored REAL NOT NULL DEFAULT 0,
    updateRecord INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS tokens (
    token TEXT PRIMARY KEY,
    accountId INTEGER NOT NULL REFERENCES accounts(id)
);
CREATE TABLE IF NOT EXISTS ownedFiles (
    accountId INTEGER NOT NULL,
    mediaType INTEGER NOT NULL,
    hashCode TEXT NOT NULL,
    fileGuidName TEXT NOT NULL,
    fileSize INTEGER NOT NULL,
    PRIMARY KEY (accountId, mediaType, hashCode)
);
CREATE TABLE IF NOT EXISTS userRecords (
    accountId INTEGER NOT NULL,
    tableId INTEGER NOT NULL,
    entityKey TEXT NOT NULL,
    updateRecord INTEGER NOT NULL,
    body TEXT NOT NULL,
    PRIMARY KEY (accountId, tableId, entityKey)
);
CREATE INDEX IF NOT EXISTS userRecordsByCounter ON userRecords (accountId, tableId, updateRecord);
CREATE TABLE IF NOT EXISTS buckets (
    bucketId TEXT PRIMARY KEY,
    bucketName TEXT NOT NULL UNIQUE,
    bucketType TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS storedFiles (
    bucketId TEXT NOT NULL,
    fileName TEXT NOT NULL,
    fileId TEXT NOT NULL UNIQUE,
    contentLength INTEGER NOT NULL,
    contentSha1 TEXT NOT NULL,
    contentType TEXT NOT NULL,
    fileInfo TEXT NOT NULL,
    uploadTimestamp INTEGER NOT NULL,
    PRIMARY KEY (bucketId, fileName)
);
)sql";

} // namespace

Statement::Statement(sqlite3* db, std::string_view sql)
    : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite prepare failed: %s\n", sqlite3_errmsg(db));
        m_stmt = nullptr;
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    sqlite3_bind_double(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindBlob(int index, const void* data, size_t size)
{
    sqlite3_bind_blob(m_stmt, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
}

bool Statement::step()
{
    if (!m_stmt)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        std::fprintf(stderr, "sqlite step failed: %s\n", sqlite3_errmsg(m_db));
    return rc == SQLITE_ROW;
}

bool Statement::run()
{
    if (!m_stmt)
        return false;
    int rc;
    while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        std::fprintf(stderr, "sqlite step failed: %s\n", sqlite3_errmsg(m_db));
    return rc == SQLITE_DONE;
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::string Statement::text(int column) const
{
    const auto* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : std::string();
}

Database::~Database()
{
    sqlite3_close(m_db);
}

std::string Database::open(const std::filesystem::path& file)
{
    if (sqlite3_open(file.c_str(), &m_db) != SQLITE_OK)
        return sqlite3_errmsg(m_db);
    sqlite3_busy_timeout(m_db, 5000);
    char* error = nullptr;
    if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "schema failed";
        sqlite3_free(error);
        return text;
    }
    return {};
}

bool Database::exec(std::string_view sql)
{
    const std::string text(sql);
    char* error = nullptr;
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite exec failed: %s\n", error ? error : "?");
        sqlite3_free(error);
        return false;
    }
    return true;
}

int64_t Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

int64_t Database::nextSequence()
{
    auto update = prepare("UPDATE meta SET value = value + 1 WHERE key = 'sequence' RETURNING value");
    return update.step() ? update.integer(0) : 0;
}

void Database::raiseSequenceTo(int64_t value)
{
    prepare("UPDATE meta SET value = max(value, ?1) WHERE key = 'sequence'").bind(1, value).run();
}

Transaction::Transaction(Database& db)
    : m_db(db)
{
    m_db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!m_done)
        m_db.exec("ROLLBACK");
}

void Transaction::commit()
{
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace zirv::devserver
