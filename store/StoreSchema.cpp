#include "StoreSchema.h"

#include "store/Sqlite.h"

#include <set>

namespace zirv {

namespace {

const char* sqlType(ValueType type)
{
    switch (type) {
    case ValueType::F32:
        return "REAL";
    case ValueType::Text:
        return "TEXT";
    case ValueType::Uuid:
        return "BLOB";
    default:
        return "INTEGER";
    }
}

std::string quoted(const char* name)
{
    return std::string("\"") + name + "\"";
}

// Indexes that the special queries need beyond the derived ones.
struct ExtraIndex {
    const char* entity;
    const char* name;
    const char* columns;
};
const ExtraIndex extraIndexes[] = {
    {"User_Configuration", "kind", "entityType, configurationKeyNumber"},
    {"User_Configuration", "playlist", "configurationKeyUUID"},
    {"User_PlaylistContent", "playlist", "user_PlaylistDefinitionEntityKey"},
    {"User_PlaylistDefinition", "status", "statusCode, transferStatus"},
};

// Relationships the special queries select by.
struct QueriedLink {
    const char* entity;
    const char* column;
};
const QueriedLink queriedLinks[] = {
    {"ZIRV_ReleaseContent", "zirv_AudioDefinitionKeyLink"}, // fetchReleaseContentsOfTrack
    {"Ops_UserAudio", "zirv_AudioDefinitionKeyLink"},       // findOwnedTrack
};

// Steps for changes that cannot be inferred from the declaration (renames,
// value conversions). Step i takes a store from version i to i + 1.
using MigrationStep = bool (*)(sql::Database&);
const MigrationStep explicitSteps[] = {nullptr};

bool stepFromVersion(sql::Database& db, int from)
{
    if (from < 1 || from >= static_cast<int>(std::size(explicitSteps)))
        return true;
    const MigrationStep step = explicitSteps[from];
    return !step || step(db);
}

std::set<std::string> existingColumns(sql::Database& db, const char* table)
{
    std::set<std::string> columns;
    sql::Statement stmt = db.prepare("SELECT name FROM pragma_table_info(?)");
    stmt.bind(1, QString::fromLatin1(table));
    while (stmt.step() == sql::Statement::Step::row)
        columns.insert(stmt.text(0).toStdString());
    return columns;
}

} // namespace

std::string StoreSchema::columnSql(const ColumnDecl& column)
{
    std::string sql = quoted(column.name) + " " + sqlType(column.type);
    if (column.kind == ColumnKind::link)
        sql += " REFERENCES " + quoted(column.target) + "(entityKey) ON DELETE SET NULL";
    return sql;
}

std::string StoreSchema::createTableSql(const EntityDecl& entity)
{
    std::string sql = "CREATE TABLE " + quoted(entity.name) + " (id INTEGER PRIMARY KEY";
    for (const ColumnDecl& column : entity.columns)
        sql += ", " + columnSql(column);
    return sql + ")";
}

std::vector<std::string> StoreSchema::indexSql(const EntityDecl& entity)
{
    std::vector<std::string> out;
    const std::string table = quoted(entity.name);
    auto add = [&](const std::string& name, const std::string& columns, bool unique) {
        out.push_back(std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX IF NOT EXISTS "
                      + quoted((std::string(entity.name) + "." + name).c_str()) + " ON " + table
                      + " (" + columns + ")");
    };
    if (entity.keyType != KeyType::none)
        add("entityKey", "entityKey", true);
    if (entity.columnIndex("transferStatus") >= 0)
        add("transferStatus", "transferStatus, updateRecord", false);
    add("updateRecord", "updateRecord", false);
    // A relationship column is indexed when a query selects by it, or when
    // its target can be deleted (the store then clears the references).
    // Catalogue records are never deleted, so links to them need none.
    for (const ColumnDecl& column : entity.columns) {
        if (column.kind != ColumnKind::link)
            continue;
        const EntityDecl* target = EntityModel::find(column.target);
        bool queried = false;
        for (const QueriedLink& link : queriedLinks)
            queried |= std::string_view(link.entity) == entity.name && std::string_view(link.column) == column.name;
        if (queried || !target || target->family != EntityFamily::catalogue)
            add(column.name, quoted(column.name), false);
    }
    for (const ExtraIndex& extra : extraIndexes) {
        if (std::string_view(extra.entity) == entity.name)
            add(extra.name, extra.columns, false);
    }
    return out;
}

bool StoreSchema::prepare(sql::Database& db, const SchemaOptions& options, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    int version = 0;
    {
        sql::Statement stmt = db.prepare("PRAGMA user_version");
        if (stmt.step() != sql::Statement::Step::row)
            return fail(db.lastError());
        version = static_cast<int>(stmt.int64(0));
    }
    if (version == EntityModel::version)
        return true;
    if (version > EntityModel::version)
        return fail(QStringLiteral("The store was written by a newer version (%1)").arg(version));
    if (options.readOnly)
        return fail(QStringLiteral("The store needs migrating but is opened read-only"));

    sql::Transaction tx(db);
    if (!tx.isActive())
        return fail(db.lastError());
    int tables = 0;
    {
        sql::Statement stmt = db.prepare(
            "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
        if (stmt.step() != sql::Statement::Step::row)
            return fail(db.lastError());
        tables = static_cast<int>(stmt.int64(0));
    }
    const bool fresh = tables == 0;
    if (!fresh) {
        if (!options.migrateAutomatically)
            return fail(QStringLiteral("The store is of an older version (%1) and migration is off").arg(version));
        for (int from = version; from < EntityModel::version; ++from) {
            if (!stepFromVersion(db, from))
                return fail(QStringLiteral("Migration from version %1 failed: ").arg(from) + db.lastError());
        }
        if (!options.inferMapping)
            return fail(QStringLiteral("The store is of an older version (%1) and no mapping is inferred").arg(version));
    }
    for (const EntityDecl* entity : EntityModel::entities()) {
        const std::set<std::string> columns = existingColumns(db, entity->name);
        if (columns.empty()) {
            if (!db.exec(createTableSql(*entity).c_str()))
                return fail(db.lastError());
        } else {
            for (const ColumnDecl& column : entity->columns) {
                if (columns.count(column.name))
                    continue;
                const std::string alter = "ALTER TABLE " + quoted(entity->name) + " ADD COLUMN "
                    + columnSql(column);
                if (!db.exec(alter.c_str()))
                    return fail(db.lastError());
            }
        }
        for (const std::string& index : indexSql(*entity)) {
            if (!db.exec(index.c_str()))
                return fail(db.lastError());
        }
    }
    const std::string setVersion = "PRAGMA user_version = " + std::to_string(EntityModel::version);
    if (!db.exec(setVersion.c_str()) || !tx.commit())
        return fail(db.lastError());
    return true;
}

} // namespace zirv
