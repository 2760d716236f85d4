#pragma once
// The object model of the local store: all 31 entities, declared once.
//
// Each entity is one X-macro list of its columns and relationships:
//   COL(name, type)                          an attribute
//   LOCAL(name, type)                        a local-only attribute: set to its
//                                            empty value on insertion, never
//                                            changed by later updates
//   LINK(name, Target, keyType, source, rule) a to-one relationship, stored as
//                                            a column holding the target's
//                                            entityKey; `source` names the
//                                            attribute it is taken from when
//                                            the record carries the key as an
//                                            attribute as well (else none)
//   MANY(name, Target, inverse)              a to-many relationship: the
//                                            inverse LINK of the target
// From these lists come the record structs (one per entity, every member
// optional because every attribute may be absent), the run-time declaration
// the SQL schema is derived from, and the column visitors the generic access
// class binds and reads through.

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>

namespace zirv {

// A Boolean attribute that the backend sends as a number: any non-zero
// number reads as true.
struct IntFlag {
    bool value = false;
    IntFlag() = default;
    IntFlag(bool v) : value(v) {}
    IntFlag(int32_t number) : value(number != 0) {}
    IntFlag(int64_t number) : value(number != 0) {}
    friend bool operator==(IntFlag, IntFlag) = default;
};

namespace entitytypes {
using I16 = int16_t;
using I32 = int32_t;
using I64 = int64_t;
using F32 = float;
using Flag = IntFlag;
using Text = QString;
using Uuid = QUuid;
using Date = QDateTime;
} // namespace entitytypes

enum class ValueType { I16, I32, I64, F32, Flag, Text, Uuid, Date };
enum class EntityFamily { catalogue, ownedMedia, user };
enum class KeyType { none, I64, Uuid };
enum class ColumnKind { attribute, localOnly, link };
// required: storeRecord answers false when the target is missing.
// neverSet: storeRecord leaves the relationship as it is (the video links).
enum class LinkRule { none, required, neverSet };

// Which operations the entity's access class offers.
enum EntityOperations : unsigned {
    opsNone = 0,
    opsA = 1, // fetchByKey, latestUpdateRecord, storeRecord
    opsU = 2, // fetchByTransferStatus, markUploaded, markRejected
    opsD = 4, // deleteAll
};

struct ColumnDecl {
    const char* name;
    ValueType type;
    ColumnKind kind;
    const char* target = nullptr; // links: the target entity
    const char* source = nullptr; // links: the attribute carrying the key, if any
    LinkRule rule = LinkRule::none;
};

struct ToManyDecl {
    const char* name;
    const char* target;
    const char* inverse;
};

struct EntityDecl {
    const char* name;
    EntityFamily family;
    KeyType keyType;
    int syncId; // 0: the entity has no synchronisation identifier
    unsigned operations;
    std::span<const ColumnDecl> columns;
    std::span<const ToManyDecl> toMany;

    int columnIndex(const char* column) const; // -1 when absent
};

// A typed reference to one member of a record, so that binding and reading
// can be written once for every entity.
using FieldRef = std::variant<std::optional<int16_t>*, std::optional<int32_t>*,
                              std::optional<int64_t>*, std::optional<float>*,
                              std::optional<IntFlag>*, std::optional<QString>*,
                              std::optional<QUuid>*, std::optional<QDateTime>*>;

// ---------------------------------------------------------------------------
// The entities. The families' lists follow the entity table of the model.

#define ZIRV_ENTITY_LIST(X)                                                              \
    X(ZIRV_GymLocation, catalogue, I64, 1, opsA)                                         \
    X(ZIRV_Manufacturer, catalogue, I64, 2, opsA)                                        \
    X(ZIRV_Programme, catalogue, I64, 3, opsA)                                           \
    X(ZIRV_ReleaseCollection, catalogue, I64, 4, opsA)                                   \
    X(ZIRV_ContainerBlock, catalogue, I64, 5, opsA)                                      \
    X(ZIRV_ContentBlock, catalogue, I64, 6, opsA)                                        \
    X(ZIRV_AudioDefinition, catalogue, I64, 7, opsA)                                     \
    X(ZIRV_VideoDefinition, catalogue, I64, 0, opsNone)                                  \
    X(ZIRV_ChoreographyDefinition, catalogue, I64, 9, opsA)                              \
    X(ZIRV_ReleaseContent, catalogue, I64, 10, opsA)                                     \
    X(ZIRV_AudioBonusBlockGroups, catalogue, I64, 11, opsA)                              \
    X(ZIRV_PlaylistDefinition, catalogue, I64, 12, opsA)                                 \
    X(ZIRV_PlaylistContent, catalogue, I64, 13, opsA)                                    \
    X(ZIRV_Tag, catalogue, I64, 14, opsA)                                                \
    X(ZIRV_AudioDefinitionTag, catalogue, I64, 15, opsA)                                 \
    X(ZIRV_VideoDefinitionTag, catalogue, I64, 0, opsNone)                               \
    X(ZIRV_ChoreographyDefinitionTag, catalogue, I64, 17, opsA)                          \
    X(ZIRV_ReportPlaylistCounts, catalogue, I64, 18, opsA)                               \
    X(ZIRV_ReportPlaylistTracks, catalogue, I64, 19, opsA)                               \
    X(Ops_UserAudio, ownedMedia, I64, 41, opsA | opsD)                                   \
    X(Ops_UserVideo, ownedMedia, I64, 0, opsD)                                           \
    X(Ops_UserChoreography, ownedMedia, I64, 43, opsA | opsD)                            \
    X(User_Account, user, none, 51, opsNone)                                             \
    X(User_PlaylistDefinition, user, Uuid, 52, opsA | opsU | opsD)                       \
    X(User_PlaylistContent, user, Uuid, 53, opsA | opsU | opsD)                          \
    X(User_Configuration, user, Uuid, 54, opsA | opsU | opsD)                            \
    X(User_ClassHistory, user, Uuid, 55, opsA | opsU | opsD)                             \
    X(User_ClassHistoryContents, user, Uuid, 56, opsA | opsU | opsD)                     \
    X(User_ReportPlaylistCounts, user, I64, 57, opsA | opsD)                             \
    X(User_ReportPlaylistTracks, user, I64, 58, opsA | opsD)                             \
    X(User_PurchaseHistory, user, Uuid, 59, opsA | opsU | opsD)

#define ZIRV_FIELDS_ZIRV_GymLocation(COL, LOCAL, LINK, MANY)                             \
    COL(entityKey, I64) COL(entityTitle, Text) COL(entityAddress, Text)                  \
    COL(contactEmail, Text) COL(contactPhone, Text) COL(contactWeb, Text)                \
    COL(extraInformation, Text) COL(mapAnnotationTitle, Text)                            \
    COL(mapAnnotationSubtitle, Text) COL(mapLatitude, F32) COL(mapLongitude, F32)        \
    COL(userRegionCode, Text) COL(statusCode, I32) COL(updateRecord, I64)                \
    MANY(user_ClassHistoryLink, User_ClassHistory, zirv_GymLocationKeyLink)

#define ZIRV_FIELDS_ZIRV_Manufacturer(COL, LOCAL, LINK, MANY)                            \
    COL(entityKey, I64) COL(entityTitle, Text) COL(contactWeb, Text)                     \
    COL(statusCode, I32) COL(updateRecord, I64)                                          \
    MANY(zirv_ProgrammeKeyLink, ZIRV_Programme, zirv_ManufacturerKeyLink)

#define ZIRV_FIELDS_ZIRV_Programme(COL, LOCAL, LINK, MANY)                               \
    COL(entityKey, I64) COL(entityTitle, Text) COL(entityDescription, Text)              \
    COL(entityType, I32) COL(colour, I32) COL(colourContrast, I32)                       \
    COL(displayOrder, I32) COL(statusCode, I32) COL(updateRecord, I64)                   \
    LINK(zirv_ManufacturerKeyLink, ZIRV_Manufacturer, I64, none, required)               \
    MANY(zirv_ReleaseCollectionLink, ZIRV_ReleaseCollection, zirv_ProgrammeKeyLink)      \
    MANY(user_ClassHistoryLink, User_ClassHistory, zirv_ProgrammeKeyLink)

#define ZIRV_FIELDS_ZIRV_ReleaseCollection(COL, LOCAL, LINK, MANY)                       \
    COL(entityKey, I64) COL(entityTitle, Text) COL(entityQualifier, Text)                \
    COL(releaseDate, Date) COL(allowedLocations, I32) COL(entityType, I32)               \
    COL(statusCode, I32) COL(updateRecord, I64)                                          \
    LINK(zirv_ProgrammeKeyLink, ZIRV_Programme, I64, none, required)                     \
    MANY(zirv_PlaylistDefinitionKeyLink, ZIRV_PlaylistDefinition,                        \
         zirv_ReleaseCollectionKeyLink)                                                  \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent, zirv_ReleaseCollectionKeyLink)    \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent, zirv_ReleaseCollectionKeyLink)

#define ZIRV_FIELDS_ZIRV_ContainerBlock(COL, LOCAL, LINK, MANY)                          \
    COL(entityKey, I64) COL(entityTitle, Text) COL(statusCode, I32)                      \
    COL(updateRecord, I64)                                                               \
    MANY(zirv_AudioBonusBlockGroupsLink, ZIRV_AudioBonusBlockGroups,                     \
         zirv_ContainerBlockLink)                                                        \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent, zirv_ContainerBlockKeyLink)       \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent, zirv_ContainerBlockKeyLink)     \
    MANY(user_PlaylistContentLink, User_PlaylistContent, zirv_ContainerBlockKeyLink)

#define ZIRV_FIELDS_ZIRV_ContentBlock(COL, LOCAL, LINK, MANY)                            \
    COL(entityKey, I64) COL(entityTitle, Text) COL(collectiveName, Text)                 \
    COL(allowedLocations, I32) COL(statusCode, I32) COL(updateRecord, I64)               \
    MANY(zirv_AudioBonusBlockGroupsLink, ZIRV_AudioBonusBlockGroups,                     \
         zirv_ContentBlockLink)                                                          \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent, zirv_ContentBlockKeyLink)         \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent, zirv_ContentBlockKeyLink)       \
    MANY(user_PlaylistContentLink, User_PlaylistContent, zirv_ContentBlockKeyLink)

#define ZIRV_FIELDS_ZIRV_AudioDefinition(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, I64) COL(titlePPL, Text) COL(titlePPLFree, Text)                      \
    COL(titleStreaming, Text) COL(artistPPL, Text) COL(artistPPLFree, Text)              \
    COL(artistStreaming, Text) COL(runningTime, I32) COL(beatsPerMinute, I32)            \
    COL(entityType, I64) COL(allowedLocations, I32) COL(statusCode, I32)                 \
    COL(updateRecord, I64)                                                               \
    MANY(ops_UserAudioLink, Ops_UserAudio, zirv_AudioDefinitionKeyLink)                  \
    MANY(zirv_AudioBonusBlockGroupsLink, ZIRV_AudioBonusBlockGroups,                     \
         zirv_AudioDefinitionKeyLink)                                                    \
    MANY(zirv_AudioDefinitionTagLink, ZIRV_AudioDefinitionTag,                           \
         zirv_AudioDefinitionKeyLink)                                                    \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent, zirv_AudioDefinitionKeyLink)      \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent, zirv_AudioDefinitionKeyLink)    \
    MANY(user_PlaylistContentLink, User_PlaylistContent, zirv_AudioDefinitionKeyLink)

#define ZIRV_FIELDS_ZIRV_VideoDefinition(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, I64) COL(title1, Text) COL(title2, Text) COL(title3, Text)            \
    COL(runningTime, I32) COL(entityType, I64) COL(statusCode, I32)                      \
    COL(updateRecord, I64)                                                               \
    MANY(ops_UserVideoLink, Ops_UserVideo, zirv_VideoDefinitionKeyLink)                  \
    MANY(zirv_VideoDefinitionTagLink, ZIRV_VideoDefinitionTag,                           \
         zirv_VideoDefinitionKeyLink)                                                    \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent, zirv_VideoDefinitionKeyLink)      \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent, zirv_VideoDefinitionKeyLink)    \
    MANY(user_PlaylistContentLink, User_PlaylistContent, zirv_VideoDefinitionKeyLink)

#define ZIRV_FIELDS_ZIRV_ChoreographyDefinition(COL, LOCAL, LINK, MANY)                  \
    COL(entityKey, I64) COL(title1, Text) COL(title2, Text) COL(title3, Text)            \
    COL(runningTime, I32) COL(entityType, I64) COL(statusCode, I32)                      \
    COL(updateRecord, I64)                                                               \
    MANY(ops_UserChoreographyLink, Ops_UserChoreography,                                 \
         zirv_ChoreographyDefinitionKeyLink)                                             \
    MANY(zirv_ChoreographyDefinitionTagLink, ZIRV_ChoreographyDefinitionTag,             \
         zirv_ChoreographyDefinitionKeyLink)                                             \
    MANY(zirv_ReleaseContentLink, ZIRV_ReleaseContent,                                   \
         zirv_ChoreographyDefinitionKeyLink)                                             \
    MANY(zirv_PlaylistContentLink, ZIRV_PlaylistContent,                                 \
         zirv_ChoreographyDefinitionKeyLink)                                             \
    MANY(user_PlaylistContentLink, User_PlaylistContent,                                 \
         zirv_ChoreographyDefinitionKeyLink)

#define ZIRV_FIELDS_ZIRV_ReleaseContent(COL, LOCAL, LINK, MANY)                          \
    COL(entityKey, I64) COL(containerBlockOrder, I32) COL(contentBlockOrder, I32)        \
    COL(primaryMediaType, I32) COL(statusCode, I32) COL(updateRecord, I64)               \
    LINK(zirv_ReleaseCollectionKeyLink, ZIRV_ReleaseCollection, I64, none, required)     \
    LINK(zirv_ContainerBlockKeyLink, ZIRV_ContainerBlock, I64, none, required)           \
    LINK(zirv_ContentBlockKeyLink, ZIRV_ContentBlock, I64, none, required)               \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64, none, required)         \
    LINK(zirv_ChoreographyDefinitionKeyLink, ZIRV_ChoreographyDefinition, I64, none,     \
         required)                                                                       \
    LINK(zirv_VideoDefinitionKeyLink, ZIRV_VideoDefinition, I64, none, neverSet)

#define ZIRV_FIELDS_ZIRV_AudioBonusBlockGroups(COL, LOCAL, LINK, MANY)                   \
    COL(entityKey, I64) COL(bonusBlockGroupId, I64) COL(groupNumber, I32)                \
    COL(displayOrder, I32) COL(statusCode, I32) COL(updateRecord, I64)                   \
    LINK(zirv_ContainerBlockLink, ZIRV_ContainerBlock, I64, none, required)              \
    LINK(zirv_ContentBlockLink, ZIRV_ContentBlock, I64, none, required)                  \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64, none, required)

#define ZIRV_FIELDS_ZIRV_PlaylistDefinition(COL, LOCAL, LINK, MANY)                      \
    COL(entityKey, I64) COL(title, Text) COL(subtitle, Text) COL(displayOrder, I32)      \
    COL(entityType, I32) COL(zirv_PlaylistDefinitionTemplateEntityKey, I64)              \
    COL(indicatorFlag, I32) COL(statusCode, I32) COL(updateRecord, I64)                  \
    LINK(zirv_ReleaseCollectionKeyLink, ZIRV_ReleaseCollection, I64, none, required)     \
    MANY(zirv_PlaylistContentKeyLink, ZIRV_PlaylistContent,                              \
         zirv_PlaylistDefinitionKeyLink)                                                 \
    MANY(user_PlaylistDefinitionKeyLink, User_PlaylistDefinition,                        \
         zirv_PlaylistDefinitionKeyLink)

#define ZIRV_FIELDS_ZIRV_PlaylistContent(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, I64) COL(containerBlockOrder, I32) COL(contentBlockOrder, I32)        \
    COL(zirv_PlaylistContentTemplateEntityKey, I64)                                      \
    COL(zirv_AudioBonusBlockGroupEntityKey, I64) COL(statusCode, I32)                    \
    COL(updateRecord, I64)                                                               \
    LINK(zirv_PlaylistDefinitionKeyLink, ZIRV_PlaylistDefinition, I64, none, required)   \
    LINK(zirv_ReleaseCollectionKeyLink, ZIRV_ReleaseCollection, I64, none, required)     \
    LINK(zirv_ContainerBlockKeyLink, ZIRV_ContainerBlock, I64, none, required)           \
    LINK(zirv_ContentBlockKeyLink, ZIRV_ContentBlock, I64, none, required)               \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64, none, required)         \
    LINK(zirv_ChoreographyDefinitionKeyLink, ZIRV_ChoreographyDefinition, I64, none,     \
         required)                                                                       \
    LINK(zirv_VideoDefinitionKeyLink, ZIRV_VideoDefinition, I64, none, neverSet)

#define ZIRV_FIELDS_ZIRV_Tag(COL, LOCAL, LINK, MANY)                                     \
    COL(entityKey, I64) COL(entityTitle, Text) COL(groupNumber, I32)                     \
    COL(displayOrder, I32) COL(orderingMethod, I32) COL(statusCode, I32)                 \
    COL(updateRecord, I64)                                                               \
    MANY(zirv_AudioDefinitionTagLink, ZIRV_AudioDefinitionTag, zirv_TagKeyLink)          \
    MANY(zirv_ChoreographyDefinitionTagLink, ZIRV_ChoreographyDefinitionTag,             \
         zirv_TagKeyLink)                                                                \
    MANY(zirv_VideoDefinitionTagLink, ZIRV_VideoDefinitionTag, zirv_TagKeyLink)

#define ZIRV_FIELDS_ZIRV_AudioDefinitionTag(COL, LOCAL, LINK, MANY)                      \
    COL(entityKey, I64) COL(restrictionsFlag, I32) COL(statusCode, I32)                  \
    COL(updateRecord, I64)                                                               \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64, none, required)         \
    LINK(zirv_TagKeyLink, ZIRV_Tag, I64, none, required)

#define ZIRV_FIELDS_ZIRV_VideoDefinitionTag(COL, LOCAL, LINK, MANY)                      \
    COL(entityKey, I64) COL(statusCode, I32) COL(updateRecord, I64)                      \
    LINK(zirv_VideoDefinitionKeyLink, ZIRV_VideoDefinition, I64, none, required)         \
    LINK(zirv_TagKeyLink, ZIRV_Tag, I64, none, required)

#define ZIRV_FIELDS_ZIRV_ChoreographyDefinitionTag(COL, LOCAL, LINK, MANY)               \
    COL(entityKey, I64) COL(statusCode, I32) COL(updateRecord, I64)                      \
    LINK(zirv_ChoreographyDefinitionKeyLink, ZIRV_ChoreographyDefinition, I64, none,     \
         required)                                                                       \
    LINK(zirv_TagKeyLink, ZIRV_Tag, I64, none, required)

#define ZIRV_FIELDS_ZIRV_ReportPlaylistCounts(COL, LOCAL, LINK, MANY)                    \
    COL(entityKey, I64) COL(reportNumber, I64) COL(userRegionCode, Text)                 \
    COL(graphAxisLabel, Text) COL(itemType, I64) COL(itemCount1, I64)                    \
    COL(itemCount2, I64) COL(statusCode, I32) COL(updateRecord, I64)

#define ZIRV_FIELDS_ZIRV_ReportPlaylistTracks(COL, LOCAL, LINK, MANY)                    \
    COL(entityKey, I64) COL(reportNumber, I64) COL(userRegionCode, Text)                 \
    COL(itemType, I64) COL(itemCount, I64) COL(itemValue, F32) COL(statusCode, I32)      \
    COL(updateRecord, I64)

#define ZIRV_OWNED_MEDIA_LOCAL(LOCAL)                                                    \
    LOCAL(relevanceScore, I64) LOCAL(downloadDate, Date)                                 \
    LOCAL(downloadLastAccessed, Date) LOCAL(downloadPriority, I32)                       \
    LOCAL(downloadSizeCompleted, I64)

#define ZIRV_FIELDS_Ops_UserAudio(COL, LOCAL, LINK, MANY)                                \
    COL(entityKey, I64) COL(fileGuidName, Text) COL(fileSize, I64)                       \
    COL(mediaTrackTime, F32) COL(mediaTrackStart, F32) COL(mediaTrackStop, F32)          \
    COL(mediaVolumeLevelStart, F32) COL(mediaVolumeLevelPeak, F32)                       \
    COL(mediaVolumeLevelEnd, F32) COL(beatsPerMinute, I32) COL(allowedLocations, I32)    \
    COL(mediaIsGaplessStart, Flag) COL(mediaIsGaplessEnd, Flag)                          \
    COL(entityGroupTitle, Text) COL(entityDescription1, Text)                            \
    COL(entityDescription2, Text) COL(displayOrder, I32) COL(statusCode, I32)            \
    COL(updateRecord, I64) ZIRV_OWNED_MEDIA_LOCAL(LOCAL)                                 \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64, none, required)         \
    MANY(user_ClassHistoryContents, User_ClassHistoryContents, ops_UserAudioKeyLink)

#define ZIRV_FIELDS_Ops_UserVideo(COL, LOCAL, LINK, MANY)                                \
    COL(entityKey, I64) COL(fileGuidName, Text) COL(fileSize, I64)                       \
    COL(mediaTrackTime, F32) COL(mediaTrackStart, F32) COL(mediaTrackStop, F32)          \
    COL(mediaVolumeLevelStart, F32) COL(mediaVolumeLevelPeak, F32)                       \
    COL(mediaVolumeLevelEnd, F32) COL(allowedLocations, I32)                             \
    COL(mediaIsGaplessStart, Flag) COL(mediaIsGaplessEnd, Flag)                          \
    COL(entityGroupTitle, Text) COL(entityDescription1, Text)                            \
    COL(entityDescription2, Text) COL(displayOrder, I32) COL(entityType, I32)            \
    COL(statusCode, I32) COL(updateRecord, I64) ZIRV_OWNED_MEDIA_LOCAL(LOCAL)            \
    LINK(zirv_VideoDefinitionKeyLink, ZIRV_VideoDefinition, I64, none, required)

#define ZIRV_FIELDS_Ops_UserChoreography(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, I64) COL(fileGuidName, Text) COL(fileSize, I64) COL(entityType, I32)  \
    COL(mediaPageStart, I32) COL(mediaPageEnd, I32)                                      \
    COL(mediaPageStartHorizontalPoint, F32) COL(mediaPageStartVerticalPoint, F32)        \
    COL(mediaPageEndHorizontalPoint, F32) COL(mediaPageEndVerticalPoint, F32)            \
    COL(mediaPageRotationDegrees, F32) COL(entityGroupTitle, Text)                       \
    COL(entityDescription, Text) COL(displayOrder, I32) COL(statusCode, I32)             \
    COL(updateRecord, I64) ZIRV_OWNED_MEDIA_LOCAL(LOCAL)                                 \
    LINK(zirv_ChoreographyDefinitionKeyLink, ZIRV_ChoreographyDefinition, I64, none,     \
         required)

#define ZIRV_FIELDS_User_Account(COL, LOCAL, LINK, MANY)                                 \
    COL(accessToken, Uuid) COL(email, Text) COL(indicatorFlag, I32) COL(status, I32)     \
    COL(subscriptionExpiry, Date) COL(totalDataStored, F32) COL(totalPaid, F32)          \
    COL(updateRecord, I64) COL(userMobile, Text) COL(userName, Text)                     \
    COL(userNamePublic, Text) COL(whenCreated, Date)

#define ZIRV_FIELDS_User_Configuration(COL, LOCAL, LINK, MANY)                           \
    COL(entityKey, Uuid) COL(entityType, I64) COL(configurationKeyNumber, I64)           \
    COL(configurationKeyUUID, Uuid) COL(valueAsNumber, I64) COL(valueAsString, Text)     \
    COL(valueAsUUID, Uuid) COL(lastUpdated, Date) COL(transferStatus, I32)               \
    COL(updateRecord, I64)

#define ZIRV_FIELDS_User_PlaylistDefinition(COL, LOCAL, LINK, MANY)                      \
    COL(entityKey, Uuid) COL(zirv_PlaylistDefinitionEntityKey, I64) COL(title, Text)     \
    COL(subtitle, Text) COL(allowedLocations, I32) COL(displayOrder, I32)                \
    COL(entityType, I32) COL(statusCode, I32) COL(transferStatus, I32)                   \
    COL(updateRecord, I64)                                                               \
    LINK(zirv_PlaylistDefinitionKeyLink, ZIRV_PlaylistDefinition, I64,                   \
         zirv_PlaylistDefinitionEntityKey, required)                                     \
    MANY(user_PlaylistContentKeyLink, User_PlaylistContent,                              \
         user_PlaylistDefinitionKeyLink)

#define ZIRV_FIELDS_User_PlaylistContent(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, Uuid) COL(user_PlaylistDefinitionEntityKey, Uuid)                     \
    COL(zirv_ContainerBlockEntityKey, I64) COL(zirv_ContentBlockEntityKey, I64)          \
    COL(zirv_AudioDefinitionEntityKey, I64) COL(zirv_VideoDefinitionEntityKey, I64)      \
    COL(zirv_ChoreographyDefinitionEntityKey, I64)                                       \
    COL(zirv_AudioBonusBlockGroupEntityKey, I64) COL(containerBlockOrder, I32)           \
    COL(contentBlockOrder, I32) COL(statusCode, I32) COL(transferStatus, I32)            \
    COL(updateRecord, I64)                                                               \
    LINK(user_PlaylistDefinitionKeyLink, User_PlaylistDefinition, Uuid,                  \
         user_PlaylistDefinitionEntityKey, required)                                     \
    LINK(zirv_ContainerBlockKeyLink, ZIRV_ContainerBlock, I64,                           \
         zirv_ContainerBlockEntityKey, required)                                         \
    LINK(zirv_ContentBlockKeyLink, ZIRV_ContentBlock, I64, zirv_ContentBlockEntityKey,   \
         required)                                                                       \
    LINK(zirv_AudioDefinitionKeyLink, ZIRV_AudioDefinition, I64,                         \
         zirv_AudioDefinitionEntityKey, required)                                        \
    LINK(zirv_ChoreographyDefinitionKeyLink, ZIRV_ChoreographyDefinition, I64,           \
         zirv_ChoreographyDefinitionEntityKey, required)                                 \
    LINK(zirv_VideoDefinitionKeyLink, ZIRV_VideoDefinition, I64, none, neverSet)

#define ZIRV_FIELDS_User_ClassHistory(COL, LOCAL, LINK, MANY)                            \
    COL(entityKey, Uuid) COL(classStartTime, Date) COL(classEndTime, Date)               \
    COL(classAttendance, I32) COL(teachingPerformanceRating, I16)                        \
    COL(teachingEnjoymentRating, I16) COL(teachingClassEngagementRating, I16)            \
    COL(teachingNotes, Text) COL(deviceDescription, Text) COL(isTestingOnly, I32)        \
    COL(transferStatus, I32) COL(updateRecord, I64)                                      \
    LINK(zirv_ProgrammeKeyLink, ZIRV_Programme, I64, none, required)                     \
    LINK(zirv_GymLocationKeyLink, ZIRV_GymLocation, I64, none, required)                 \
    MANY(user_ClassHistoryContentsLink, User_ClassHistoryContents,                       \
         user_ClassHistoryKeyLink)

#define ZIRV_FIELDS_User_ClassHistoryContents(COL, LOCAL, LINK, MANY)                    \
    COL(entityKey, Uuid) COL(blockTitle, Text) COL(songTitle, Text)                      \
    COL(artistTitle, Text) COL(songNumber, I32) COL(songStartTime, Date)                 \
    COL(songEndTime, Date) COL(transferStatus, I32) COL(updateRecord, I64)               \
    LINK(user_ClassHistoryKeyLink, User_ClassHistory, Uuid, none, required)              \
    LINK(ops_UserAudioKeyLink, Ops_UserAudio, I64, none, required)

#define ZIRV_FIELDS_User_PurchaseHistory(COL, LOCAL, LINK, MANY)                         \
    COL(entityKey, Uuid) COL(emailAddress, Text) COL(productId, Text)                    \
    COL(transactionId, Text) COL(titleLocalised, Text) COL(descriptionLocalised, Text)   \
    COL(priceLocalised, Text) COL(priceCurrency, Text) COL(priceRaw, F32)                \
    COL(packageType, I32) COL(purchaseType, I32) COL(quantity, I32)                      \
    COL(purchaseDate, Date) COL(expiryDate, Date) COL(note, Text)                        \
    COL(transferStatus, I32) COL(updateRecord, I64)

#define ZIRV_FIELDS_User_ReportPlaylistCounts(COL, LOCAL, LINK, MANY)                    \
    COL(entityKey, I64) COL(reportNumber, I64) COL(graphAxisLabel, Text)                 \
    COL(itemType, I64) COL(itemCount1, I64) COL(itemCount2, I64) COL(statusCode, I32)    \
    COL(updateRecord, I64)

#define ZIRV_FIELDS_User_ReportPlaylistTracks(COL, LOCAL, LINK, MANY)                    \
    COL(entityKey, I64) COL(reportNumber, I64) COL(userRegionCode, Text)                 \
    COL(itemType, I64) COL(itemCount, I64) COL(itemValue, F32) COL(statusCode, I32)      \
    COL(updateRecord, I64)

// ---------------------------------------------------------------------------
// The record structs. A relationship member holds the target's entityKey.

#define ZIRV_MEMBER_COL(name, type) std::optional<entitytypes::type> name;
#define ZIRV_MEMBER_LINK(name, target, keyType, source, rule) \
    std::optional<entitytypes::keyType> name;
#define ZIRV_MEMBER_MANY(name, target, inverse)
#define ZIRV_VISIT_COL(name, type) f(&self.name);
#define ZIRV_VISIT_LINK(name, target, keyType, source, rule) f(&self.name);
#define ZIRV_VISIT_MANY(name, target, inverse)
#define ZIRV_COUNT_COL(name, type) +1
#define ZIRV_COUNT_LINK(name, target, keyType, source, rule) +1

#define ZIRV_DECLARE_RECORD(Name, fam, key, sync, ops)                                  \
    struct Name {                                                                       \
        static constexpr const char* entityName = #Name;                                \
        static constexpr EntityFamily family = EntityFamily::fam;                       \
        static constexpr KeyType keyType = KeyType::key;                                \
        static constexpr int syncId = sync;                                             \
        static constexpr unsigned operations = ops;                                     \
        static constexpr size_t columnCount = 0 ZIRV_FIELDS_##Name(                     \
            ZIRV_COUNT_COL, ZIRV_COUNT_COL, ZIRV_COUNT_LINK, ZIRV_VISIT_MANY);          \
        ZIRV_FIELDS_##Name(ZIRV_MEMBER_COL, ZIRV_MEMBER_COL, ZIRV_MEMBER_LINK,          \
                           ZIRV_MEMBER_MANY)                                            \
        /* Calls f with a pointer to every column member, in declaration order. */      \
        template <class Self, class F>                                                  \
        static void visitColumns(Self& self, F&& f)                                     \
        {                                                                               \
            ZIRV_FIELDS_##Name(ZIRV_VISIT_COL, ZIRV_VISIT_COL, ZIRV_VISIT_LINK,         \
                               ZIRV_VISIT_MANY)                                         \
        }                                                                               \
        static const EntityDecl& decl();                                                \
    };

ZIRV_ENTITY_LIST(ZIRV_DECLARE_RECORD)

#undef ZIRV_DECLARE_RECORD
#undef ZIRV_MEMBER_COL
#undef ZIRV_MEMBER_LINK
#undef ZIRV_MEMBER_MANY
#undef ZIRV_VISIT_COL
#undef ZIRV_VISIT_LINK
#undef ZIRV_VISIT_MANY
#undef ZIRV_COUNT_COL
#undef ZIRV_COUNT_LINK

// The date the store uses for "never" (the local-only download dates of owned
// media, the logged-out account): 0001-01-01 00:00 UTC.
QDateTime distantPast();

// ---------------------------------------------------------------------------
// The model as a whole.

class EntityModel {
public:
    // All 31 entities, in the order of the entity table.
    static std::span<const EntityDecl* const> entities();
    static const EntityDecl* find(const char* name);

    // Checks that every relationship has its inverse, every link target and
    // source exists with the right key type and every keyed entity has an
    // entityKey column. The store is not built from a model that fails.
    static bool validate(QString* problem = nullptr);

    // Bumped whenever the declaration changes so that existing stores migrate.
    static constexpr int version = 1;
};

// The references to every column of a record, in declaration order.
template <class E>
auto fieldRefs(E& record)
{
    std::array<FieldRef, E::columnCount> refs {};
    size_t i = 0;
    E::visitColumns(record, [&](auto* member) { refs[i++] = member; });
    return refs;
}

} // namespace zirv
