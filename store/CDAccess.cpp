#include "CDAccess.h"

#include <unordered_map>

namespace zirv::access {

namespace {

std::string quoted(const char* name)
{
    return std::string("\"") + name + "\"";
}

EntitySql buildSql(const EntityDecl& decl)
{
    EntitySql s;
    s.decl = &decl;
    const std::string table = quoted(decl.name);
    std::string columns;
    std::string placeholders;
    for (const ColumnDecl& column : decl.columns) {
        if (!columns.empty()) {
            columns += ", ";
            placeholders += ", ";
        }
        columns += quoted(column.name);
        placeholders += "?";
    }
    s.select = "SELECT " + columns + " FROM " + table;
    s.keyIndex = decl.columnIndex("entityKey");
    s.transferIndex = decl.columnIndex("transferStatus");
    s.byKey = s.select + " WHERE entityKey = ? LIMIT 1";
    s.idByKey = "SELECT id FROM " + table + " WHERE entityKey = ?";
    s.exists = "SELECT 1 FROM " + table + " WHERE entityKey = ?";
    s.latest = "SELECT updateRecord FROM " + table + " ORDER BY updateRecord DESC LIMIT 1";
    s.insert = "INSERT INTO " + table + " (" + columns + ") VALUES (" + placeholders + ")";
    std::string sets;
    for (size_t i = 0; i < decl.columns.size(); ++i) {
        const ColumnDecl& column = decl.columns[i];
        if (static_cast<int>(i) == s.keyIndex || column.kind == ColumnKind::localOnly
            || column.rule == LinkRule::neverSet)
            continue;
        if (!sets.empty())
            sets += ", ";
        sets += quoted(column.name) + " = ?";
        s.updateColumns.push_back(static_cast<int>(i));
    }
    s.update = "UPDATE " + table + " SET " + sets + " WHERE id = ?";
    if (s.keyIndex >= 0) {
        std::string excluded;
        for (int column : s.updateColumns) {
            if (!excluded.empty())
                excluded += ", ";
            excluded += quoted(decl.columns[column].name) + " = excluded." + quoted(decl.columns[column].name);
        }
        s.upsert = s.insert + " ON CONFLICT (entityKey) DO UPDATE SET " + excluded;
    }
    s.byTransferStatus = s.select + " WHERE transferStatus = ? ORDER BY updateRecord";
    s.markUploaded = "UPDATE " + table + " SET transferStatus = 1, updateRecord = ? WHERE entityKey = ?";
    s.markRejected = "UPDATE " + table + " SET transferStatus = 3 WHERE entityKey = ?";
    s.deleteAll = "DELETE FROM " + table;
    s.deleteByKey = "DELETE FROM " + table + " WHERE entityKey = ?";
    for (const ColumnDecl& column : decl.columns)
        s.sourceIndex.push_back(column.source ? decl.columnIndex(column.source) : -1);
    return s;
}

const std::unordered_map<const EntityDecl*, EntitySql>& allSql()
{
    static const std::unordered_map<const EntityDecl*, EntitySql> all = [] {
        std::unordered_map<const EntityDecl*, EntitySql> map;
        for (const EntityDecl* decl : EntityModel::entities())
            map.emplace(decl, buildSql(*decl));
        for (auto& [decl, s] : map) {
            for (const ColumnDecl& column : decl->columns) {
                const EntityDecl* target =
                    column.kind == ColumnKind::link ? EntityModel::find(column.target) : nullptr;
                s.linkTargets.push_back(target ? &map.at(target) : nullptr);
            }
        }
        return map;
    }();
    return all;
}

bool isNull(const FieldRef& field)
{
    return std::visit([](auto* member) { return !member->has_value(); }, field);
}

void bindDefault(sql::Statement& stmt, int position, ValueType type)
{
    switch (type) {
    case ValueType::Date:
        stmt.bind(position, distantPast());
        break;
    case ValueType::F32:
        stmt.bind(position, 0.0);
        break;
    case ValueType::Text:
    case ValueType::Uuid:
        stmt.bindNull(position);
        break;
    default:
        stmt.bind(position, int64_t {0});
        break;
    }
}

} // namespace

const EntitySql& sqlFor(const EntityDecl& decl)
{
    return allSql().at(&decl);
}

void bindField(sql::Statement& stmt, int position, const FieldRef& field)
{
    std::visit(
        [&](auto* member) {
            if (!member->has_value()) {
                stmt.bindNull(position);
                return;
            }
            using T = std::decay_t<decltype(**member)>;
            const T& value = **member;
            if constexpr (std::is_same_v<T, IntFlag>)
                stmt.bind(position, int64_t {value.value ? 1 : 0});
            else if constexpr (std::is_same_v<T, float>)
                stmt.bind(position, double {value});
            else if constexpr (std::is_integral_v<T>)
                stmt.bind(position, int64_t {value});
            else
                stmt.bind(position, value);
        },
        field);
}

void readRow(sql::Statement& stmt, std::span<const FieldRef> fields)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        const int column = static_cast<int>(i);
        std::visit(
            [&](auto* member) {
                using T = typename std::decay_t<decltype(*member)>::value_type;
                if (stmt.isNull(column)) {
                    member->reset();
                } else if constexpr (std::is_same_v<T, IntFlag>) {
                    *member = IntFlag(stmt.int64(column) != 0);
                } else if constexpr (std::is_same_v<T, float>) {
                    *member = static_cast<float>(stmt.real(column));
                } else if constexpr (std::is_integral_v<T>) {
                    *member = static_cast<T>(stmt.int64(column));
                } else if constexpr (std::is_same_v<T, QString>) {
                    *member = stmt.text(column);
                } else if constexpr (std::is_same_v<T, QUuid>) {
                    *member = stmt.uuid(column);
                } else {
                    *member = stmt.date(column);
                }
            },
            fields[i]);
    }
}

bool fetchRows(StoreContext& context, const std::string& sql,
               const std::function<void(sql::Statement&)>& bind,
               const std::function<void(sql::Statement&)>& row)
{
    sql::Database* db = context.database();
    if (!db)
        return false;
    sql::Statement stmt = db->prepare(sql);
    if (!stmt.isValid())
        return false;
    if (bind)
        bind(stmt);
    for (;;) {
        switch (stmt.step()) {
        case sql::Statement::Step::row:
            row(stmt);
            break;
        case sql::Statement::Step::done:
            return true;
        case sql::Statement::Step::error:
            return false;
        }
    }
}

int64_t latestUpdateRecord(StoreContext& context, const EntitySql& entity)
{
    int64_t marker = 0;
    fetchRows(context, entity.latest, {}, [&](sql::Statement& s) {
        if (!s.isNull(0))
            marker = s.int64(0);
    });
    return marker;
}

std::optional<int64_t> runWrite(StoreContext& context, const std::string& sql,
                                const std::function<void(sql::Statement&)>& bind)
{
    sql::Database* db = context.database();
    if (!db)
        return std::nullopt;
    sql::Transaction tx(*db);
    if (!tx.isActive())
        return std::nullopt;
    int64_t changed = 0;
    {
        sql::Statement stmt = db->prepare(sql);
        if (!stmt.isValid())
            return std::nullopt;
        if (bind)
            bind(stmt);
        if (!stmt.run())
            return std::nullopt;
        changed = db->changes();
    }
    if (!tx.commit())
        return std::nullopt;
    return changed;
}

bool storeRecord(StoreContext& context, const EntitySql& entity, std::span<const FieldRef> fields,
                 std::optional<int32_t> transferStatus)
{
    sql::Database* db = context.database();
    if (!db || entity.keyIndex < 0 || isNull(fields[entity.keyIndex]))
        return false;
    const EntityDecl& decl = *entity.decl;
    sql::Transaction tx(*db);
    if (!tx.isActive())
        return false;

    // The value a column is written with: a link takes its source attribute
    // when it has one; transferStatus follows the pending flag.
    auto bindColumn = [&](sql::Statement& stmt, int position, int column) {
        if (column == entity.transferIndex && transferStatus)
            stmt.bind(position, int64_t {*transferStatus});
        else if (entity.sourceIndex[column] >= 0)
            bindField(stmt, position, fields[entity.sourceIndex[column]]);
        else
            bindField(stmt, position, fields[column]);
    };

    // 1. Every required target must be named; that it exists is checked by
    //    the store itself: each relationship column is a foreign key to the
    //    target's entityKey, so a missing target fails the write below and
    //    nothing is stored.
    for (size_t i = 0; i < decl.columns.size(); ++i) {
        if (decl.columns[i].rule != LinkRule::required)
            continue;
        const int source = entity.sourceIndex[i] >= 0 ? entity.sourceIndex[i] : static_cast<int>(i);
        if (isNull(fields[source]))
            return false;
    }

    // 2.-4. The upsert by key in one statement: a new record gets every
    //    value (local-only attributes empty: 0, distant past; relationships
    //    never set stay empty); an existing one gets every value except its
    //    local-only attributes and the relationships never set.
    {
    sql::Statement upsert = db->prepare(entity.upsert);
    if (!upsert.isValid())
        return false;
    for (size_t i = 0; i < decl.columns.size(); ++i) {
        const ColumnDecl& column = decl.columns[i];
        const int position = static_cast<int>(i) + 1;
        if (column.kind == ColumnKind::localOnly)
            bindDefault(upsert, position, column.type);
        else if (column.rule == LinkRule::neverSet)
            upsert.bindNull(position);
        else
            bindColumn(upsert, position, static_cast<int>(i));
    }
    if (!upsert.run())
        return false;
    } // the statement is reset before the save
    // 5. The save.
    return tx.commit();
}

} // namespace zirv::access
