#pragma once
// A thin layer over the SQLite C API: one connection, prepared statements bound
// by position, and a transaction that rolls back unless committed. The server
// serialises its use of the connection behind one mutex (see Backend).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace zirv::devserver {

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value);
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view text);
    Statement& bindBlob(int index, const void* data, size_t size);

    // True while a row is available.
    bool step();
    // Runs to completion; false on error.
    bool run();

    int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (creating) the file and applies the schema. Empty on success,
    // otherwise the error text.
    std::string open(const std::filesystem::path& file);

    bool exec(std::string_view sql);
    Statement prepare(std::string_view sql) { return Statement(m_db, sql); }
    int64_t lastInsertId() const;
    int changes() const;

    // The next value of the server's one change-counter sequence.
    int64_t nextSequence();
    void raiseSequenceTo(int64_t value);

private:
    sqlite3* m_db = nullptr;
};

class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace zirv::devserver
