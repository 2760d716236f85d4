#pragma once
// The access family: one generic class parameterised by entity, CD<E>, with
// the aliases CDZIRV_Tag, CDUser_PlaylistContent, ... Each operation takes the
// context to work in and runs on that context's thread; every write is saved
// (one transaction) before it returns. Nothing throws: a failed fetch reads
// as nothing found, a failed save or a missing required target as not stored.

#include "store/CoreDataController.h"
#include "store/EntityModel.h"

#include <QUuid>

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace zirv {

namespace access {

// The SQL of one entity, derived once from its declaration.
struct EntitySql {
    const EntityDecl* decl = nullptr;
    std::string select;         // SELECT <columns> FROM <entity>
    std::string byKey;
    std::string idByKey;
    std::string exists;
    std::string latest;
    std::string insert;
    std::string upsert;          // insert, or update all but the local-only columns
    std::string update;          // SET of updateColumns, WHERE id = ?
    std::vector<int> updateColumns;
    std::string byTransferStatus;
    std::string markUploaded;
    std::string markRejected;
    std::string deleteAll;
    std::string deleteByKey;
    int keyIndex = -1;
    int transferIndex = -1;
    std::vector<int> sourceIndex;                // per column: the link's source, or -1
    std::vector<const EntitySql*> linkTargets;   // per column: the link's target
};

const EntitySql& sqlFor(const EntityDecl& decl);

void bindField(sql::Statement& stmt, int position, const FieldRef& field);
void readRow(sql::Statement& stmt, std::span<const FieldRef> fields);

// Runs `sql` with `bind` and calls `row` for each result; false on failure.
bool fetchRows(StoreContext& context, const std::string& sql,
               const std::function<void(sql::Statement&)>& bind,
               const std::function<void(sql::Statement&)>& row);

bool storeRecord(StoreContext& context, const EntitySql& entity, std::span<const FieldRef> fields,
                 std::optional<int32_t> transferStatus);
int64_t latestUpdateRecord(StoreContext& context, const EntitySql& entity);
// One statement in its own transaction (a batch update or delete); answers
// the rows changed, or none when it failed.
std::optional<int64_t> runWrite(StoreContext& context, const std::string& sql,
                                const std::function<void(sql::Statement&)>& bind);

} // namespace access

// The answer of findOwnedTrack.
struct OwnedTrack {
    bool found = false;
    std::optional<int64_t> entityKey;
};

template <class E>
class CD {
public:
    using Record = E;
    using Key = std::conditional_t<E::keyType == KeyType::Uuid, QUuid, int64_t>;
    static constexpr bool hasA = (E::operations & opsA) != 0;
    static constexpr bool hasU = (E::operations & opsU) != 0;
    static constexpr bool hasD = (E::operations & opsD) != 0;
    static constexpr bool isUser = E::family == EntityFamily::user;

    std::optional<E> fetchByKey(StoreContext& context, const Key& key) const
        requires hasA
    {
        return fetchOne(context, sql().byKey, [&](sql::Statement& s) { s.bind(1, key); });
    }

    // The entity's change marker: the highest updateRecord, 0 when empty.
    int64_t latestUpdateRecord(StoreContext& context) const
        requires hasA
    {
        return access::latestUpdateRecord(context, sql());
    }

    // The upsert of a catalogue or owned-media record. Relationships are
    // given as the target's entityKey in the link members.
    bool storeRecord(StoreContext& context, const E& record) const
        requires(hasA && !isUser)
    {
        return access::storeRecord(context, sql(), refs(record), std::nullopt);
    }

    // The upsert of a user record: transferStatus 2 when pending, else 1.
    bool storeRecord(StoreContext& context, bool pending, const E& record) const
        requires(hasA && isUser)
    {
        return access::storeRecord(context, sql(), refs(record), pending ? 2 : 1);
    }

    std::vector<E> fetchByTransferStatus(StoreContext& context, int32_t status) const
        requires hasU
    {
        return fetchList(context, sql().byTransferStatus,
                         [&](sql::Statement& s) { s.bind(1, int64_t {status}); });
    }
    std::vector<E> fetchPending(StoreContext& context) const requires hasU
    {
        return fetchByTransferStatus(context, 2);
    }
    std::vector<E> fetchRejected(StoreContext& context) const requires hasU
    {
        return fetchByTransferStatus(context, 3);
    }

    // Batch updates: written to the store directly. A key that matches no
    // record changes nothing and still answers true.
    bool markUploaded(StoreContext& context, const QUuid& key, int64_t updateRecord) const
        requires hasU
    {
        return access::runWrite(context, sql().markUploaded, [&](sql::Statement& s) {
                   s.bind(1, updateRecord);
                   s.bind(2, key);
               }).has_value();
    }
    bool markRejected(StoreContext& context, const QUuid& key) const requires hasU
    {
        return access::runWrite(context, sql().markRejected,
                                [&](sql::Statement& s) { s.bind(1, key); })
            .has_value();
    }

    // Deletes every record; a failure is ignored.
    void deleteAll(StoreContext& context) const requires hasD
    {
        access::runWrite(context, sql().deleteAll, {});
    }

    // Deletes the record of `key` and saves; false when there is none or the
    // save failed.
    bool deleteRecord(StoreContext& context, const Key& key) const requires hasD
    {
        const std::optional<int64_t> changed =
            access::runWrite(context, sql().deleteByKey, [&](sql::Statement& s) { s.bind(1, key); });
        return changed && *changed > 0;
    }

    // --- special queries -------------------------------------------------

    // User_PlaylistContent: the rows of a playlist that are in step.
    std::vector<E> fetchContentsOfPlaylist(StoreContext& context, const QUuid& playlist) const
        requires std::same_as<E, User_PlaylistContent>
    {
        static const std::string query =
            sql().select + " WHERE user_PlaylistDefinitionEntityKey = ? AND transferStatus = 1";
        return fetchList(context, query, [&](sql::Statement& s) { s.bind(1, playlist); });
    }

    // User_PlaylistDefinition: the playlists the backend marked for purging.
    std::vector<E> fetchMarkedPlaylists(StoreContext& context) const
        requires std::same_as<E, User_PlaylistDefinition>
    {
        static const std::string query = sql().select + " WHERE statusCode = 32 AND transferStatus = 1";
        return fetchList(context, query, {});
    }
    bool deletePlaylist(StoreContext& context, const QUuid& key) const
        requires std::same_as<E, User_PlaylistDefinition>
    {
        return deleteRecord(context, key);
    }

    // User_Configuration: the value of one kind and number (at most one).
    std::optional<E> fetchConfigurationByKind(StoreContext& context, int64_t kind, int64_t number) const
        requires std::same_as<E, User_Configuration>
    {
        static const std::string query =
            sql().select + " WHERE entityType = ? AND configurationKeyNumber = ? LIMIT 1";
        return fetchOne(context, query, [&](sql::Statement& s) {
            s.bind(1, kind);
            s.bind(2, number);
        });
    }
    std::vector<E> fetchConfigurationOfPlaylist(StoreContext& context, const QUuid& playlist) const
        requires std::same_as<E, User_Configuration>
    {
        static const std::string query =
            sql().select + " WHERE configurationKeyUUID = ? AND transferStatus = 1";
        return fetchList(context, query, [&](sql::Statement& s) { s.bind(1, playlist); });
    }

    // ZIRV_ReleaseContent: the live release contents of a track, by
    // contentBlockOrder.
    std::vector<E> fetchReleaseContentsOfTrack(StoreContext& context, int64_t track) const
        requires std::same_as<E, ZIRV_ReleaseContent>
    {
        static const std::string query = sql().select
            + " WHERE zirv_AudioDefinitionKeyLink = ? AND statusCode = 1 ORDER BY contentBlockOrder";
        return fetchList(context, query, [&](sql::Statement& s) { s.bind(1, track); });
    }

    // Ops_UserAudio: whether the account owns a live copy of the track usable
    // in one of the wanted locations.
    OwnedTrack findOwnedTrack(StoreContext& context, int64_t track, int32_t mask) const
        requires std::same_as<E, Ops_UserAudio>
    {
        static const std::string query =
            "SELECT entityKey FROM Ops_UserAudio WHERE zirv_AudioDefinitionKeyLink = ?"
            " AND (allowedLocations & ?) <> 0 AND statusCode = 1 LIMIT 1";
        OwnedTrack answer;
        access::fetchRows(
            context, query,
            [&](sql::Statement& s) {
                s.bind(1, track);
                s.bind(2, int64_t {mask});
            },
            [&](sql::Statement& s) {
                answer.found = true;
                if (!s.isNull(0))
                    answer.entityKey = s.int64(0);
            });
        return answer;
    }

private:
    static const access::EntitySql& sql() { return access::sqlFor(E::decl()); }

    static auto refs(const E& record) { return fieldRefs(const_cast<E&>(record)); }

    static std::vector<E> fetchList(StoreContext& context, const std::string& query,
                                    const std::function<void(sql::Statement&)>& bind)
    {
        std::vector<E> out;
        const bool ok = access::fetchRows(context, query, bind, [&](sql::Statement& s) {
            E record;
            access::readRow(s, fieldRefs(record));
            out.push_back(std::move(record));
        });
        if (!ok)
            out.clear();
        return out;
    }

    static std::optional<E> fetchOne(StoreContext& context, const std::string& query,
                                     const std::function<void(sql::Statement&)>& bind)
    {
        std::vector<E> list = fetchList(context, query, bind);
        if (list.empty())
            return std::nullopt;
        return std::move(list.front());
    }
};

// The account record has its own access class, CDUser_Account.
using CDZIRV_GymLocation = CD<ZIRV_GymLocation>;
using CDZIRV_Manufacturer = CD<ZIRV_Manufacturer>;
using CDZIRV_Programme = CD<ZIRV_Programme>;
using CDZIRV_ReleaseCollection = CD<ZIRV_ReleaseCollection>;
using CDZIRV_ContainerBlock = CD<ZIRV_ContainerBlock>;
using CDZIRV_ContentBlock = CD<ZIRV_ContentBlock>;
using CDZIRV_AudioDefinition = CD<ZIRV_AudioDefinition>;
using CDZIRV_VideoDefinition = CD<ZIRV_VideoDefinition>;
using CDZIRV_ChoreographyDefinition = CD<ZIRV_ChoreographyDefinition>;
using CDZIRV_ReleaseContent = CD<ZIRV_ReleaseContent>;
using CDZIRV_AudioBonusBlockGroups = CD<ZIRV_AudioBonusBlockGroups>;
using CDZIRV_PlaylistDefinition = CD<ZIRV_PlaylistDefinition>;
using CDZIRV_PlaylistContent = CD<ZIRV_PlaylistContent>;
using CDZIRV_Tag = CD<ZIRV_Tag>;
using CDZIRV_AudioDefinitionTag = CD<ZIRV_AudioDefinitionTag>;
using CDZIRV_VideoDefinitionTag = CD<ZIRV_VideoDefinitionTag>;
using CDZIRV_ChoreographyDefinitionTag = CD<ZIRV_ChoreographyDefinitionTag>;
using CDZIRV_ReportPlaylistCounts = CD<ZIRV_ReportPlaylistCounts>;
using CDZIRV_ReportPlaylistTracks = CD<ZIRV_ReportPlaylistTracks>;
using CDOps_UserAudio = CD<Ops_UserAudio>;
using CDOps_UserVideo = CD<Ops_UserVideo>;
using CDOps_UserChoreography = CD<Ops_UserChoreography>;
using CDUser_PlaylistDefinition = CD<User_PlaylistDefinition>;
using CDUser_PlaylistContent = CD<User_PlaylistContent>;
using CDUser_Configuration = CD<User_Configuration>;
using CDUser_ClassHistory = CD<User_ClassHistory>;
using CDUser_ClassHistoryContents = CD<User_ClassHistoryContents>;
using CDUser_ReportPlaylistCounts = CD<User_ReportPlaylistCounts>;
using CDUser_ReportPlaylistTracks = CD<User_ReportPlaylistTracks>;
using CDUser_PurchaseHistory = CD<User_PurchaseHistory>;

} // namespace zirv
