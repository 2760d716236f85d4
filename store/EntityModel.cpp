#include "EntityModel.h"

#include <QTimeZone>

#include <cstring>

namespace zirv {

QDateTime distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}

int EntityDecl::columnIndex(const char* column) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (std::strcmp(columns[i].name, column) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

#define ZIRV_DECL_COL(name, type) ColumnDecl {#name, ValueType::type, ColumnKind::attribute},
#define ZIRV_DECL_LOCAL(name, type) ColumnDecl {#name, ValueType::type, ColumnKind::localOnly},
#define ZIRV_DECL_LINK(name, target, keyType, source, rule)                               \
    ColumnDecl {#name, ValueType::keyType, ColumnKind::link, #target,                      \
                ZIRV_SOURCE_##source, LinkRule::rule},
#define ZIRV_DECL_NOMANY(name, target, inverse)
#define ZIRV_DECL_NOCOL(...)
#define ZIRV_DECL_MANY(name, target, inverse) ToManyDecl {#name, #target, #inverse},

// A link's source attribute, or none.
#define ZIRV_SOURCE_none nullptr
#define ZIRV_SOURCE_zirv_PlaylistDefinitionEntityKey "zirv_PlaylistDefinitionEntityKey"
#define ZIRV_SOURCE_user_PlaylistDefinitionEntityKey "user_PlaylistDefinitionEntityKey"
#define ZIRV_SOURCE_zirv_ContainerBlockEntityKey "zirv_ContainerBlockEntityKey"
#define ZIRV_SOURCE_zirv_ContentBlockEntityKey "zirv_ContentBlockEntityKey"
#define ZIRV_SOURCE_zirv_AudioDefinitionEntityKey "zirv_AudioDefinitionEntityKey"
#define ZIRV_SOURCE_zirv_ChoreographyDefinitionEntityKey "zirv_ChoreographyDefinitionEntityKey"

#define ZIRV_DEFINE_DECL(Name, fam, key, sync, ops)                                       \
    namespace {                                                                           \
    const ColumnDecl Name##_columns[] = {ZIRV_FIELDS_##Name(                              \
        ZIRV_DECL_COL, ZIRV_DECL_LOCAL, ZIRV_DECL_LINK, ZIRV_DECL_NOMANY)};               \
    const ToManyDecl Name##_toMany[] = {ZIRV_FIELDS_##Name(ZIRV_DECL_NOCOL,               \
        ZIRV_DECL_NOCOL, ZIRV_DECL_NOCOL, ZIRV_DECL_MANY) ToManyDecl {nullptr, nullptr,   \
        nullptr}};                                                                        \
    const EntityDecl Name##_decl {#Name,                                                  \
                                  EntityFamily::fam,                                      \
                                  KeyType::key,                                           \
                                  sync,                                                   \
                                  ops,                                                    \
                                  std::span<const ColumnDecl>(Name##_columns),            \
                                  std::span<const ToManyDecl>(Name##_toMany,              \
                                                              std::size(Name##_toMany) - 1)}; \
    }                                                                                     \
    const EntityDecl& Name::decl() { return Name##_decl; }

ZIRV_ENTITY_LIST(ZIRV_DEFINE_DECL)

#define ZIRV_DECL_POINTER(Name, fam, key, sync, ops) &Name##_decl,

namespace {
const EntityDecl* const allEntities[] = {ZIRV_ENTITY_LIST(ZIRV_DECL_POINTER)};

ValueType keyValueType(KeyType key)
{
    return key == KeyType::Uuid ? ValueType::Uuid : ValueType::I64;
}
} // namespace

std::span<const EntityDecl* const> EntityModel::entities()
{
    return allEntities;
}

const EntityDecl* EntityModel::find(const char* name)
{
    for (const EntityDecl* entity : allEntities) {
        if (std::strcmp(entity->name, name) == 0)
            return entity;
    }
    return nullptr;
}

bool EntityModel::validate(QString* problem)
{
    auto fail = [&](const QString& text) {
        if (problem)
            *problem = text;
        return false;
    };
    if (std::size(allEntities) != 31)
        return fail(QStringLiteral("the model must hold 31 entities"));
    for (const EntityDecl* entity : allEntities) {
        const QString name = QString::fromLatin1(entity->name);
        const int key = entity->columnIndex("entityKey");
        if (entity->keyType == KeyType::none) {
            if (key >= 0)
                return fail(name + QStringLiteral(": an entity without a key has an entityKey"));
        } else if (key < 0 || entity->columns[key].type != keyValueType(entity->keyType)) {
            return fail(name + QStringLiteral(": entityKey missing or of the wrong type"));
        }
        if (entity->columnIndex("updateRecord") < 0)
            return fail(name + QStringLiteral(": no updateRecord"));
        for (const ColumnDecl& column : entity->columns) {
            if (entity->columnIndex(column.name) != &column - entity->columns.data())
                return fail(name + QStringLiteral(": column declared twice: ") + QLatin1String(column.name));
            if (column.kind != ColumnKind::link)
                continue;
            const EntityDecl* target = find(column.target);
            if (!target || target->keyType == KeyType::none
                || keyValueType(target->keyType) != column.type)
                return fail(name + QStringLiteral(": bad target of ") + QLatin1String(column.name));
            if (column.source) {
                const int source = entity->columnIndex(column.source);
                if (source < 0 || entity->columns[source].type != column.type)
                    return fail(name + QStringLiteral(": bad source of ") + QLatin1String(column.name));
            }
            bool inverseFound = false;
            for (const ToManyDecl& many : target->toMany) {
                if (std::strcmp(many.target, entity->name) == 0
                    && std::strcmp(many.inverse, column.name) == 0)
                    inverseFound = true;
            }
            if (!inverseFound)
                return fail(name + QStringLiteral(": no inverse for ") + QLatin1String(column.name));
        }
        for (const ToManyDecl& many : entity->toMany) {
            const EntityDecl* target = find(many.target);
            const int inverse = target ? target->columnIndex(many.inverse) : -1;
            if (inverse < 0 || target->columns[inverse].kind != ColumnKind::link
                || std::strcmp(target->columns[inverse].target, entity->name) != 0)
                return fail(name + QStringLiteral(": no inverse for ") + QLatin1String(many.name));
        }
    }
    return true;
}

} // namespace zirv
