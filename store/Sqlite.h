#pragma once
// A thin layer over the SQLite C API: one connection, statements prepared
// once and cached, an RAII transaction that rolls back unless committed.
//
// A connection belongs to one thread at a time (the context that owns it);
// nothing here locks.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <functional>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace zirv::sql {

// Dates are stored as milliseconds since 1970 UTC.
int64_t toStoredDate(const QDateTime& date);
QDateTime fromStoredDate(int64_t milliseconds);

class Statement;

// Fails the N-th save (counting from 1) once; for tests that prove a failed
// save loses nothing else. Shared by every connection of one store.
struct FaultHook {
    std::atomic<int> failSaveCountdown {0};

    // True when this save is the one to fail.
    bool takeFailure();
};

class Database {
public:
    struct Options {
        bool readOnly = false;
        bool create = false;
        int busyTimeoutMs = 10000;
        FaultHook* faults = nullptr;
    };

    // Opens and configures a connection (WAL, busy time-out, foreign keys).
    // Answers none with `error` set when the file cannot be opened as a store.
    static std::unique_ptr<Database> open(const QString& path, const Options& options,
                                          QString* error);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // The cached statement for `sql`, reset and unbound; an invalid statement
    // when it cannot be prepared.
    Statement prepare(std::string_view sql);
    bool exec(const char* sql);
    QString lastError() const;
    int64_t changes() const;
    sqlite3* handle() const { return m_db; }
    FaultHook* faults() const { return m_faults; }
    int transactionDepth() const { return m_depth; }

private:
    friend class Transaction;
    // Runs BEGIN/COMMIT/ROLLBACK, or a SAVEPOINT verb naming savepoint `level`.
    bool control(const char* verb, int level);
    Database(sqlite3* db, FaultHook* faults) : m_db(db), m_faults(faults) {}

    sqlite3* m_db;
    FaultHook* m_faults;
    int m_depth = 0;
    struct Cached {
        sqlite3_stmt* stmt = nullptr;
        bool inUse = false;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
    };
    std::unordered_map<std::string, Cached, Hash, std::equal_to<>> m_cache;
};

// A prepared statement borrowed from the connection's cache. Binding is by
// position (1-based). The statement is reset when this handle goes away.
class Statement {
public:
    Statement() = default;
    // `inUse` is the cache's flag for a cached statement; null for a
    // statement of its own, finalised with this handle.
    Statement(sqlite3_stmt* stmt, bool* inUse) : m_stmt(stmt), m_inUse(inUse) {}
    ~Statement();
    Statement(Statement&& other) noexcept
        : m_stmt(std::exchange(other.m_stmt, nullptr)), m_inUse(std::exchange(other.m_inUse, nullptr))
    {
    }
    Statement& operator=(Statement&&) = delete;

    bool isValid() const { return m_stmt != nullptr; }

    void bindNull(int index);
    void bind(int index, int64_t value);
    void bind(int index, double value);
    void bind(int index, const QString& value);
    void bind(int index, const QUuid& value);
    void bind(int index, const QDateTime& value);

    enum class Step { row, done, error };
    Step step();
    // Steps to the end; answers false on error.
    bool run();

    bool isNull(int column) const;
    int64_t int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    QUuid uuid(int column) const;
    QDateTime date(int column) const;

    sqlite3_stmt* handle() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool* m_inUse = nullptr;
};

// Begins a write transaction (BEGIN IMMEDIATE, so two writers wait for each
// other through the busy time-out rather than fail), or a savepoint when one
// is already open on the connection. Rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isActive() const { return m_active; }
    // The save: answers false (and rolls back) when the commit fails or the
    // fault hook fails it.
    bool commit();
    void rollback();

private:
    Database& m_db;
    bool m_active = false;
    int m_level = 0;
};

} // namespace zirv::sql
