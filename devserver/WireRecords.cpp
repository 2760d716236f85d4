#include "devserver/WireRecords.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace zirv::devserver {

namespace {

using T = WireType;

// One line per record; members in the order the records are documented.
const std::vector<WireRecord>& declarations()
{
    static const std::vector<WireRecord> records = {
        // Shared envelope records.
        {"commonSecurity", {{"accessToken", T::uuid}}},
        {"commonDatabaseErrors", {{"errorCode", T::int32}, {"errorMessage", T::string}}},
        {"commonStatus",
         {{"statusCode", T::int32},
          {"dataRecordsReturned", T::int32},
          {"moreDataAvailable", T::boolean},
          {"databaseErrors", T::record, "commonDatabaseErrors"}}},
        {"commonLastAppDefinedChangesItem", {{"syncIdentifier", T::int32}, {"updateRecord", T::int64}}},
        {"commonLastAppUserChangesItem", {{"syncIdentifier", T::int32}, {"updateRecord", T::int64}}},
        {"commonServerChangeSuccess",
         {{"tableIdentifier", T::int32}, {"entityKey", T::uuid}, {"updateRecord", T::int64}}},
        {"commonServerChangeFail", {{"tableIdentifier", T::int32}, {"entityKey", T::uuid}}},

        // Accounts.
        {"accountLoginInput",
         {{"securityToken", T::string}, {"securityEmail", T::string}, {"securityPassword", T::string}}},
        {"accountCreateInput",
         {{"securityToken", T::string},
          {"securityEmail", T::string},
          {"securityPassword", T::string},
          {"userRegionCode", T::string},
          {"userLanguageCode", T::string}}},
        {"accountLoginOutput",
         {{"status", T::record, "commonStatus"},
          {"security", T::record, "commonSecurity"},
          {"email", T::string},
          {"indicatorFlag", T::int32},
          {"userName", T::string},
          {"userNamePublic", T::string},
          {"userMobile", T::string},
          {"subscriptionExpiry", T::string},
          {"totalDataStored", T::float32},
          {"totalPaid", T::float32},
          {"statusCode", T::int32},
          {"whenCreated", T::string},
          {"updateRecord", T::int64}}},
        {"accountChangePasswordInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"securityEmail", T::string},
          {"securityCurrentPassword", T::string},
          {"securityNewPassword", T::string}}},

        // Upload registration.
        {"userStructureHashcodeInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"fileHashCode", T::string},
          {"fileSize", T::int64},
          {"itemPlatform", T::int32}}},
        {"userStructureAudioCreateInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"fileGuidName", T::string},
          {"fileHashCode", T::string},
          {"fileSize", T::int64},
          {"uploadPlatform", T::int32},
          {"metadataTitle", T::string},
          {"metadataArtist", T::string},
          {"metadataAlbum", T::string},
          {"metadataTrackNumber", T::int64},
          {"metadataFile", T::string}}},
        {"userStructureChoreographyCreateInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"fileGuidName", T::string},
          {"fileHashCode", T::string},
          {"fileSize", T::int64},
          {"uploadPlatform", T::int32},
          {"metadataTitle", T::string},
          {"metadataAuthor", T::string},
          {"metadataFile", T::string}}},
        {"userStructureStatusOutput", {{"status", T::record, "commonStatus"}}},

        // Synchronisation envelopes.
        {"zirvChangesInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"currentChanges", T::list, "commonLastAppDefinedChangesItem"}}},
        {"zirvChangesOutput",
         {{"status", T::record, "commonStatus"},
          {"listZIRV_GymLocation", T::list, "zirvTeachingVenueLocation"},
          {"listZIRV_Manufacturer", T::list, "zirvManufacturer"},
          {"listZIRV_Programme", T::list, "zirvProgramme"},
          {"listZIRV_ReleaseCollection", T::list, "zirvReleaseCollection"},
          {"listZIRV_ContainerBlock", T::list, "zirvContainerBlock"},
          {"listZIRV_ContentBlock", T::list, "zirvContentBlock"},
          {"listZIRV_AudioDefinition", T::list, "zirvAudioDefinition"},
          {"listZIRV_VideoDefinition", T::list, "zirvVideoDefinition"},
          {"listZIRV_ChoreographyDefinition", T::list, "zirvChoreographyDefinition"},
          {"listZIRV_ReleaseContent", T::list, "zirvReleaseContent"},
          {"listZIRV_AudioBonusBlockGroups", T::list, "zirvAudioBonusBlockGroups"},
          {"listZIRV_PlaylistDefinition", T::list, "zirvPlaylistDefinition"},
          {"listZIRV_PlaylistContent", T::list, "zirvPlaylistContent"},
          {"listZIRV_Tag", T::list, "zirvTag"},
          {"listZIRV_AudioDefinitionTag", T::list, "zirvAudioDefinitionTag"},
          {"listZIRV_VideoDefinitionTag", T::list, "zirvVideoDefinitionTag"},
          {"listZIRV_ChoreographyDefinitionTag", T::list, "zirvChoreographyDefinitionTag"},
          {"listZIRV_ReportPlaylistCounts", T::list, "zirvReportPlaylistCounts"},
          {"listZIRV_ReportPlaylistTracks", T::list, "zirvReportPlaylistTracks"}}},
        {"userStructureChangesInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"currentChanges", T::list, "commonLastAppUserChangesItem"}}},
        {"userStructureForceDownloadInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"currentChanges", T::list, "commonServerChangeFail"}}},
        {"userStructureDownloadChangesOutput",
         {{"status", T::record, "commonStatus"},
          {"listUser_Account", T::list, "userAccount"},
          {"listUser_Configuration", T::list, "userConfiguration"},
          {"listUser_PlaylistDefinition", T::list, "userPlaylistDefinition"},
          {"listUser_PlaylistContent", T::list, "userPlaylistContent"},
          {"listUser_ClassHistory", T::list, "userClassHistory"},
          {"listUser_ClassHistoryContents", T::list, "userClassHistoryContents"},
          {"listUser_PurchaseHistory", T::list, "userPurchaseHistory"},
          {"listOps_UserAudio", T::list, "opsUserAudio"},
          {"listOps_UserVideo", T::list, "opsUserVideo"},
          {"listOps_UserChoreography", T::list, "opsUserChoreography"},
          {"listUser_ReportPlaylistCounts", T::list, "userReportPlaylistCounts"},
          {"listUser_ReportPlaylistTracks", T::list, "userReportPlaylistTracks"}}},
        {"userStructureUpdatesInput",
         {{"currentSecurity", T::record, "commonSecurity"},
          {"listUser_Configuration", T::list, "userConfiguration"},
          {"listUser_PlaylistDefinition", T::list, "userPlaylistDefinition"},
          {"listUser_PlaylistContent", T::list, "userPlaylistContent"},
          {"listUser_ClassHistory", T::list, "userClassHistory"},
          {"listUser_ClassHistoryContents", T::list, "userClassHistoryContents"},
          {"listUser_PurchaseHistory", T::list, "userPurchaseHistory"}}},
        {"userStructureUploadChangesOutput",
         {{"status", T::record, "commonStatus"},
          {"listSuccess", T::list, "commonServerChangeSuccess"},
          {"listFailure", T::list, "commonServerChangeFail"}}},

        // Catalogue records.
        {"zirvTeachingVenueLocation",
         {{"entityKey", T::int64},
          {"mapAnnotationTitle", T::string},
          {"mapAnnotationSubtitle", T::string},
          {"entityTitle", T::string},
          {"entityAddress", T::string},
          {"contactEmail", T::string},
          {"contactPhone", T::string},
          {"contactWeb", T::string},
          {"extraInformation", T::string},
          {"mapLatitude", T::float32},
          {"mapLongitude", T::float32},
          {"userRegionCode", T::string},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvManufacturer",
         {{"entityKey", T::int64},
          {"entityTitle", T::string},
          {"contactWeb", T::string},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvProgramme",
         {{"entityKey", T::int64},
          {"zirv_ManufacturerEntityKey", T::int64},
          {"entityTitle", T::string},
          {"entityDescription", T::string},
          {"entityType", T::int32},
          {"colour", T::int32},
          {"colourContrast", T::int32},
          {"displayOrder", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvReleaseCollection",
         {{"entityKey", T::int64},
          {"zirv_ProgrammeEntityKey", T::int64},
          {"entityTitle", T::string},
          {"entityQualifier", T::string},
          {"releaseDate", T::string},
          {"allowedLocations", T::int32},
          {"entityType", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvContainerBlock",
         {{"entityKey", T::int64}, {"entityTitle", T::string}, {"statusCode", T::int32}, {"updateRecord", T::int64}}},
        {"zirvContentBlock",
         {{"entityKey", T::int64},
          {"entityTitle", T::string},
          {"collectiveName", T::string},
          {"allowedLocations", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvAudioDefinition",
         {{"entityKey", T::int64},
          {"runningTime", T::int32},
          {"titlePPL", T::string},
          {"titlePPLFree", T::string},
          {"titleStreaming", T::string},
          {"artistPPL", T::string},
          {"artistPPLFree", T::string},
          {"artistStreaming", T::string},
          {"entityType", T::int64},
          {"beatsPerMinute", T::int32},
          {"allowedLocations", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvVideoDefinition",
         {{"entityKey", T::int64},
          {"runningTime", T::int32},
          {"title1", T::string},
          {"title2", T::string},
          {"title3", T::string},
          {"entityType", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvChoreographyDefinition",
         {{"entityKey", T::int64},
          {"title1", T::string},
          {"title2", T::string},
          {"title3", T::string},
          {"entityType", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvReleaseContent",
         {{"entityKey", T::int64},
          {"zirv_ReleaseCollectionEntityKey", T::int64},
          {"zirv_ContainerBlockEntityKey", T::int64},
          {"zirv_ContentBlockEntityKey", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"zirv_VideoDefinitionEntityKey", T::int64},
          {"zirv_ChoreographyDefinitionEntityKey", T::int64},
          {"containerBlockOrder", T::int32},
          {"contentBlockOrder", T::int32},
          {"primaryMediaType", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvAudioBonusBlockGroups",
         {{"entityKey", T::int64},
          {"bonusBlockGroupId", T::int64},
          {"zirv_ContainerBlockEntityKey", T::int64},
          {"zirv_ContentBlockEntityKey", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"groupNumber", T::int32},
          {"displayOrder", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvPlaylistDefinition",
         {{"entityKey", T::int64},
          {"zirv_ReleaseCollectionEntityKey", T::int64},
          {"title", T::string},
          {"subtitle", T::string},
          {"displayOrder", T::int32},
          {"entityType", T::int32},
          {"zirv_PlaylistDefinitionTemplateEntityKey", T::int64},
          {"indicatorFlag", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvPlaylistContent",
         {{"entityKey", T::int64},
          {"zirv_ReleaseCollectionEntityKey", T::int64},
          {"zirv_ContainerBlockEntityKey", T::int64},
          {"zirv_ContentBlockEntityKey", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"zirv_VideoDefinitionEntityKey", T::int64},
          {"zirv_ChoreographyDefinitionEntityKey", T::int64},
          {"zirv_AudioBonusBlockGroupEntityKey", T::int64},
          {"zirv_PlaylistDefinitionEntityKey", T::int64},
          {"containerBlockOrder", T::int32},
          {"contentBlockOrder", T::int32},
          {"zirv_PlaylistContentTemplateEntityKey", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvTag",
         {{"entityKey", T::int64},
          {"entityTitle", T::string},
          {"groupNumber", T::int32},
          {"displayOrder", T::int32},
          {"orderingMethod", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvAudioDefinitionTag",
         {{"entityKey", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"zirv_TagEntityKey", T::int64},
          {"restrictionsFlag", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvVideoDefinitionTag",
         {{"entityKey", T::int64},
          {"zirv_VideoDefinitionEntityKey", T::int64},
          {"zirv_TagEntityKey", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvChoreographyDefinitionTag",
         {{"entityKey", T::int64},
          {"zirv_ChoreographyDefinitionEntityKey", T::int64},
          {"zirv_TagEntityKey", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvReportPlaylistCounts",
         {{"entityKey", T::int64},
          {"reportNumber", T::int64},
          {"userRegionCode", T::string},
          {"graphAxisLabel", T::string},
          {"itemType", T::int64},
          {"itemCount1", T::int64},
          {"itemCount2", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"zirvReportPlaylistTracks",
         {{"entityKey", T::int64},
          {"reportNumber", T::int64},
          {"userRegionCode", T::string},
          {"itemType", T::int64},
          {"itemCount", T::int64},
          {"itemValue", T::float32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},

        // User records.
        {"userAccount",
         {{"userEmail", T::string},
          {"indicatorFlag", T::int32},
          {"userName", T::string},
          {"userNamePublic", T::string},
          {"userMobile", T::string},
          {"accessToken", T::uuid},
          {"subscriptionExpiry", T::string},
          {"totalDataStored", T::float32},
          {"totalPaid", T::float32},
          {"statusCode", T::int32},
          {"whenCreated", T::string},
          {"updateRecord", T::int64}}},
        {"userConfiguration",
         {{"entityKey", T::uuid},
          {"entityType", T::int64},
          {"configurationKeyNumber", T::int64},
          {"configurationKeyUUID", T::uuid},
          {"valueAsNumber", T::int64},
          {"valueAsString", T::string},
          {"valueAsUUID", T::uuid},
          {"lastUpdated", T::string},
          {"updateRecord", T::int64}}},
        {"userPlaylistDefinition",
         {{"entityKey", T::uuid},
          {"zirv_PlaylistDefinitionEntityKey", T::int64},
          {"title", T::string},
          {"subtitle", T::string},
          {"allowedLocations", T::int32},
          {"displayOrder", T::int32},
          {"entityType", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"userPlaylistContent",
         {{"entityKey", T::uuid},
          {"zirv_ContainerBlockEntityKey", T::int64},
          {"zirv_ContentBlockEntityKey", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"zirv_VideoDefinitionEntityKey", T::int64},
          {"zirv_ChoreographyDefinitionEntityKey", T::int64},
          {"zirv_AudioBonusBlockGroupEntityKey", T::int64},
          {"user_PlaylistDefinitionEntityKey", T::uuid},
          {"containerBlockOrder", T::int32},
          {"contentBlockOrder", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"userClassHistory",
         {{"entityKey", T::uuid},
          {"zirv_ProgrammeEntityKey", T::int64},
          {"zirv_GymLocationEntityKey", T::int64},
          {"classStartTime", T::string},
          {"classEndTime", T::string},
          {"classAttendance", T::int32},
          {"teachingPerformanceRating", T::int16},
          {"teachingEnjoymentRating", T::int16},
          {"teachingClassEngagementRating", T::int16},
          {"teachingNotes", T::string},
          {"deviceDescription", T::string},
          {"isTestingOnly", T::int32},
          {"updateRecord", T::int64}}},
        {"userClassHistoryContents",
         {{"entityKey", T::uuid},
          {"ops_UserAudioEntityKey", T::int64},
          {"user_ClassHistoryEntityKey", T::uuid},
          {"blockTitle", T::string},
          {"songTitle", T::string},
          {"artistTitle", T::string},
          {"songNumber", T::int32},
          {"songStartTime", T::string},
          {"songEndTime", T::string},
          {"updateRecord", T::int64}}},
        {"userPurchaseHistory",
         {{"entityKey", T::uuid},
          {"emailAddress", T::string},
          {"titleLocalised", T::string},
          {"descriptionLocalised", T::string},
          {"priceLocalised", T::string},
          {"packageType", T::int32},
          {"purchaseType", T::int32},
          {"purchaseDate", T::string},
          {"expiryDate", T::string},
          {"priceRaw", T::float32},
          {"priceCurrency", T::string},
          {"productID", T::string},
          {"quantity", T::int32},
          {"transactionId", T::string},
          {"note", T::string},
          {"updateRecord", T::int64}}},
        {"opsUserAudio",
         {{"entityKey", T::int64},
          {"fileGuidName", T::string},
          {"fileSize", T::int64},
          {"zirv_AudioDefinitionEntityKey", T::int64},
          {"mediaTrackTime", T::float32},
          {"mediaTrackStart", T::float32},
          {"mediaTrackStop", T::float32},
          {"mediaVolumeLevelStart", T::float32},
          {"mediaVolumeLevelPeak", T::float32},
          {"mediaVolumeLevelEnd", T::float32},
          {"beatsPerMinute", T::int32},
          {"allowedLocations", T::int32},
          {"mediaIsGaplessStart", T::int32},
          {"mediaIsGaplessEnd", T::int32},
          {"entityGroupTitle", T::string},
          {"entityDescription1", T::string},
          {"entityDescription2", T::string},
          {"displayOrder", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"opsUserVideo",
         {{"entityKey", T::int64},
          {"fileGuidName", T::string},
          {"entityType", T::int32},
          {"fileSize", T::int64},
          {"zirv_VideoDefinitionEntityKey", T::int64},
          {"mediaTrackTime", T::float32},
          {"mediaTrackStart", T::float32},
          {"mediaTrackStop", T::float32},
          {"mediaVolumeLevelStart", T::float32},
          {"mediaVolumeLevelPeak", T::float32},
          {"mediaVolumeLevelEnd", T::float32},
          {"allowedLocations", T::int32},
          {"mediaIsGaplessStart", T::int32},
          {"mediaIsGaplessEnd", T::int32},
          {"entityGroupTitle", T::string},
          {"entityDescription1", T::string},
          {"entityDescription2", T::string},
          {"displayOrder", T::int32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"opsUserChoreography",
         {{"entityKey", T::int64},
          {"fileGuidName", T::string},
          {"fileSize", T::int64},
          {"zirv_ChoreographyDefinitionEntityKey", T::int64},
          {"entityType", T::int32},
          {"displayOrder", T::int32},
          {"mediaPageStart", T::int32},
          {"mediaPageStartHorizontalPoint", T::float32},
          {"mediaPageStartVerticalPoint", T::float32},
          {"mediaPageEnd", T::int32},
          {"mediaPageEndHorizontalPoint", T::float32},
          {"mediaPageEndVerticalPoint", T::float32},
          {"mediaPageRotationDegrees", T::float32},
          {"entityGroupTitle", T::string},
          {"entityDescription", T::string},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"userReportPlaylistCounts",
         {{"entityKey", T::int64},
          {"reportNumber", T::int64},
          {"graphAxisLabel", T::string},
          {"itemType", T::int64},
          {"itemCount1", T::int64},
          {"itemCount2", T::int64},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
        {"userReportPlaylistTracks",
         {{"entityKey", T::int64},
          {"reportNumber", T::int64},
          {"userRegionCode", T::string},
          {"itemType", T::int64},
          {"itemCount", T::int64},
          {"itemValue", T::float32},
          {"statusCode", T::int32},
          {"updateRecord", T::int64}}},
    };
    return records;
}

// Records of the same layout under their own names.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"userStructureAudioHashcodeInput", "userStructureHashcodeInput"},
    {"userStructureChoreographyHashcodeInput", "userStructureHashcodeInput"},
    {"userStructureAudioHashcodeOutput", "userStructureStatusOutput"},
    {"userStructureChoreographyHashcodeOutput", "userStructureStatusOutput"},
    {"userStructureAudioCreateOutput", "userStructureStatusOutput"},
    {"userStructureChoreographyCreateOutput", "userStructureStatusOutput"},
    {"accountCreateOutput", "accountLoginOutput"},
};

const std::unordered_map<std::string_view, const WireRecord*>& index()
{
    static const auto map = [] {
        std::unordered_map<std::string_view, const WireRecord*> m;
        for (const auto& record : declarations())
            m.emplace(record.name, &record);
        for (const auto& [alias, name] : kAliases)
            m.emplace(alias, m.at(name));
        return m;
    }();
    return map;
}

bool isHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

template <typename Int>
bool fitsInteger(const json& value)
{
    if (value.is_number_unsigned())
        return value.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<Int>::max());
    if (!value.is_number_integer())
        return false;
    const auto v = value.get<int64_t>();
    return v >= std::numeric_limits<Int>::min() && v <= std::numeric_limits<Int>::max();
}

std::string checkMember(const WireMember& member, const json& value, const std::string& path)
{
    const auto fault = [&](std::string_view what) { return path + ": " + std::string(what); };
    if (value.is_null())
        return fault("is null");
    switch (member.type) {
    case T::string:
        return value.is_string() ? std::string() : fault("must be a string");
    case T::int16:
        return fitsInteger<int16_t>(value) ? std::string() : fault("must be a 16-bit integer");
    case T::int32:
        return fitsInteger<int32_t>(value) ? std::string() : fault("must be a 32-bit integer");
    case T::int64:
        return fitsInteger<int64_t>(value) ? std::string() : fault("must be a 64-bit integer");
    case T::float32:
        if (!value.is_number())
            return fault("must be a number");
        if (std::fabs(value.get<double>()) > std::numeric_limits<float>::max())
            return fault("is outside the 32-bit floating-point range");
        return {};
    case T::boolean:
        return value.is_boolean() ? std::string() : fault("must be true or false");
    case T::uuid:
        return value.is_string() && isUuidText(value.get_ref<const std::string&>())
                   ? std::string()
                   : fault("must be a UUID text");
    case T::record: {
        if (!value.is_object())
            return fault("must be an object");
        return checkRecord(member.record, value).empty()
                   ? std::string()
                   : path + "." + checkRecord(member.record, value);
    }
    case T::list:
        if (!value.is_array())
            return fault("must be an array");
        for (size_t i = 0; i < value.size(); ++i) {
            if (!value[i].is_object())
                return path + "[" + std::to_string(i) + "]: must be an object";
            auto inner = checkRecord(member.record, value[i]);
            if (!inner.empty())
                return path + "[" + std::to_string(i) + "]." + inner;
        }
        return {};
    }
    return fault("has an unknown type");
}

} // namespace

const WireRecord* findWireRecord(std::string_view name)
{
    const auto& map = index();
    auto it = map.find(name);
    return it == map.end() ? nullptr : it->second;
}

json defaultRecord(std::string_view name)
{
    const auto* record = findWireRecord(name);
    json value = json::object();
    if (!record)
        return value;
    for (const auto& member : record->members) {
        json& slot = value[std::string(member.name)];
        switch (member.type) {
        case T::string: slot = ""; break;
        case T::int16:
        case T::int32:
        case T::int64: slot = 0; break;
        case T::float32: slot = 0.0; break;
        case T::boolean: slot = false; break;
        case T::uuid: slot = std::string(zeroUuid); break;
        case T::record: slot = defaultRecord(member.record); break;
        case T::list: slot = json::array(); break;
        }
    }
    return value;
}

std::string checkRecord(std::string_view name, const json& value)
{
    const auto* record = findWireRecord(name);
    if (!record)
        return "unknown record " + std::string(name);
    if (!value.is_object())
        return std::string(name) + " must be an object";
    for (const auto& member : record->members) {
        const std::string key(member.name);
        auto it = value.find(key);
        if (it == value.end())
            return key + ": is missing";
        auto fault = checkMember(member, *it, key);
        if (!fault.empty())
            return fault;
    }
    return {};
}

bool isUuidText(std::string_view text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != '-' : !isHex(text[i]))
            return false;
    }
    return true;
}

std::string canonicalUuid(std::string_view text)
{
    std::string out(text);
    for (auto& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

} // namespace zirv::devserver
