#pragma once
// The SQL schema derived from the entity declaration, and the migration run
// when a store is opened.

#include "store/EntityModel.h"

#include <QString>

#include <string>
#include <vector>

namespace zirv {
namespace sql { class Database; }

struct SchemaOptions {
    bool readOnly = false;
    bool migrateAutomatically = true; // shouldMigrateStoreAutomatically
    bool inferMapping = true;         // shouldInferMappingModelAutomatically
};

class StoreSchema {
public:
    static std::string createTableSql(const EntityDecl& entity);
    static std::string columnSql(const ColumnDecl& column);
    // CREATE INDEX IF NOT EXISTS statements for the entity: the key, the
    // change marker, every relationship and the special queries.
    static std::vector<std::string> indexSql(const EntityDecl& entity);

    // Brings the store to the model's version in one transaction: creates a
    // fresh store, or migrates an older one (explicit steps, then the mapping
    // inferred from the declaration: missing tables, columns and indexes are
    // added). A store of a newer version, or one that needs migrating when
    // migration is off, is an error and is left untouched.
    static bool prepare(sql::Database& db, const SchemaOptions& options, QString* error);
};

} // namespace zirv
