#include "devserver/Catalogue.h"

#include "devserver/WireRecords.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace zirv::devserver {

namespace {

using json = nlohmann::json;

// Positions in answer order.
enum Position {
    pVenue, pMaker, pProgramme, pRelease, pContainer, pContent, pAudio, pVideo, pChoreography,
    pReleaseContent, pBonusGroups, pPlaylist, pPlaylistContent, pTag, pAudioTag, pVideoTag,
    pChoreographyTag, pReportCounts, pReportTracks, pCount
};

// Share of the catalogue per table, in answer order; the last table takes
// what is left. Parents get at least one record so every reference resolves.
constexpr double kShare[pCount] = {0.02, 0.002, 0.005, 0.02, 0.005, 0.01, 0.15, 0.0, 0.05, 0.15,
                                   0.03, 0.03,  0.2,   0.01, 0.15,  0.0,  0.05, 0.04, 0.0};
constexpr bool kParent[pCount] = {true,  true,  true,  true,  true,  true,  true,  false, true, false,
                                  true,  true,  false, true,  false, false, false, false, false};

uint64_t mix(uint64_t x)
{
    // splitmix64: a cheap, well-spread hash for deterministic choices.
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

uint64_t seedOf(int position, uint32_t index, int salt)
{
    return mix((static_cast<uint64_t>(position) << 40) ^ (static_cast<uint64_t>(salt) << 32) ^ index);
}

constexpr const char* kRegions[] = {"GB", "US", "DE", "NZ", "AU", "FR"};
constexpr const char* kWords[] = {"Power", "Flow",  "Core",  "Pulse", "Rise", "Strike",
                                  "Step",  "Cycle", "Grace", "Drive", "Surge", "Tide"};

const char* word(uint64_t seed)
{
    return kWords[seed % (sizeof(kWords) / sizeof(kWords[0]))];
}

const char* region(uint64_t seed)
{
    return kRegions[seed % (sizeof(kRegions) / sizeof(kRegions[0]))];
}

std::string numbered(std::string_view prefix, int64_t key)
{
    return std::string(prefix) + " " + std::to_string(key);
}

int64_t keyAfterPrefix(std::string_view title, std::string_view prefix)
{
    if (!title.starts_with(prefix))
        return 0;
    title.remove_prefix(prefix.size());
    int64_t key = 0;
    auto [end, ec] = std::from_chars(title.data(), title.data() + title.size(), key);
    if (ec != std::errc() || end == title.data())
        return 0;
    return key;
}

int64_t keyFromHash(std::string_view hashCode, int64_t count)
{
    if (count <= 0)
        return 0;
    return 1 + static_cast<int64_t>(mix(std::hash<std::string_view>{}(hashCode)) % static_cast<uint64_t>(count));
}

} // namespace

const std::vector<CatalogueTable>& catalogueTables()
{
    static const std::vector<CatalogueTable> tables = {
        {1, "listZIRV_GymLocation", "zirvTeachingVenueLocation"},
        {2, "listZIRV_Manufacturer", "zirvManufacturer"},
        {3, "listZIRV_Programme", "zirvProgramme"},
        {4, "listZIRV_ReleaseCollection", "zirvReleaseCollection"},
        {5, "listZIRV_ContainerBlock", "zirvContainerBlock"},
        {6, "listZIRV_ContentBlock", "zirvContentBlock"},
        {7, "listZIRV_AudioDefinition", "zirvAudioDefinition"},
        {0, "listZIRV_VideoDefinition", "zirvVideoDefinition"},
        {9, "listZIRV_ChoreographyDefinition", "zirvChoreographyDefinition"},
        {10, "listZIRV_ReleaseContent", "zirvReleaseContent"},
        {11, "listZIRV_AudioBonusBlockGroups", "zirvAudioBonusBlockGroups"},
        {12, "listZIRV_PlaylistDefinition", "zirvPlaylistDefinition"},
        {13, "listZIRV_PlaylistContent", "zirvPlaylistContent"},
        {14, "listZIRV_Tag", "zirvTag"},
        {15, "listZIRV_AudioDefinitionTag", "zirvAudioDefinitionTag"},
        {0, "listZIRV_VideoDefinitionTag", "zirvVideoDefinitionTag"},
        {17, "listZIRV_ChoreographyDefinitionTag", "zirvChoreographyDefinitionTag"},
        {18, "listZIRV_ReportPlaylistCounts", "zirvReportPlaylistCounts"},
        {19, "listZIRV_ReportPlaylistTracks", "zirvReportPlaylistTracks"},
    };
    return tables;
}

Catalogue::Catalogue(int64_t size, int64_t firstCounter)
    : m_size(std::max<int64_t>(size, 0))
    , m_lastCounter(firstCounter - 1)
{
    m_tables.resize(pCount);
    int64_t assigned = 0;
    for (int p = 0; p < pCount; ++p) {
        m_tables[p].position = p;
        if (m_size == 0 || p == pReportTracks)
            continue;
        int64_t n = static_cast<int64_t>(static_cast<double>(m_size) * kShare[p]);
        if (kParent[p])
            n = std::max<int64_t>(n, 1);
        m_tables[p].count = n;
        assigned += n;
    }
    if (m_size > 0) {
        m_tables[pReportTracks].count = std::max<int64_t>(m_size - assigned, 0);
        m_size = assigned + m_tables[pReportTracks].count;
    }
    // Counters in answer order, so that a first read is parents first also by
    // counter; later edits (touch) draw new counters from the same sequence.
    int64_t counter = firstCounter;
    for (auto& t : m_tables) {
        t.order.reserve(static_cast<size_t>(t.count));
        for (int64_t i = 0; i < t.count; ++i)
            t.order.push_back({counter++, static_cast<uint32_t>(i)});
    }
    m_lastCounter = counter - 1;
}

int64_t Catalogue::lastCounter() const
{
    std::shared_lock lock(m_mutex);
    return m_lastCounter;
}

Catalogue::Table* Catalogue::table(int syncIdentifier)
{
    if (syncIdentifier <= 0)
        return nullptr;
    const auto& tables = catalogueTables();
    for (size_t p = 0; p < tables.size(); ++p)
        if (tables[p].syncIdentifier == syncIdentifier)
            return &m_tables[p];
    return nullptr;
}

const Catalogue::Table* Catalogue::table(int syncIdentifier) const
{
    return const_cast<Catalogue*>(this)->table(syncIdentifier);
}

int64_t Catalogue::count(int syncIdentifier) const
{
    const auto* t = table(syncIdentifier);
    return t ? t->count : 0;
}

int64_t Catalogue::pick(int parentPosition, uint64_t seed) const
{
    const int64_t n = countAt(parentPosition);
    return n <= 0 ? 0 : 1 + static_cast<int64_t>(seed % static_cast<uint64_t>(n));
}

json Catalogue::make(int position, uint32_t index, int64_t counter) const
{
    const auto& info = catalogueTables()[static_cast<size_t>(position)];
    json r = defaultRecord(info.recordName);
    const int64_t key = static_cast<int64_t>(index) + 1;
    auto s = [&](int salt) { return seedOf(position, index, salt); };
    r["entityKey"] = key;
    r["statusCode"] = 1;
    r["updateRecord"] = counter;
    switch (position) {
    case pVenue:
        r["mapAnnotationTitle"] = numbered("Venue", key);
        r["mapAnnotationSubtitle"] = std::string(word(s(1))) + " Studio";
        r["entityTitle"] = numbered("Venue", key) + " " + word(s(2)) + " Gym";
        r["entityAddress"] = std::to_string(1 + s(3) % 200) + " High Street";
        r["contactEmail"] = "venue" + std::to_string(key) + "@example.org";
        r["contactPhone"] = "+44 20 7946 " + std::to_string(1000 + s(4) % 9000);
        r["contactWeb"] = "https://venue" + std::to_string(key) + ".example.org";
        r["extraInformation"] = "Open daily";
        r["mapLatitude"] = static_cast<double>(static_cast<float>(-60.0 + (s(5) % 12000) / 100.0));
        r["mapLongitude"] = static_cast<double>(static_cast<float>(-170.0 + (s(6) % 34000) / 100.0));
        r["userRegionCode"] = region(s(7));
        break;
    case pMaker:
        r["entityTitle"] = numbered("Maker", key);
        r["contactWeb"] = "https://maker" + std::to_string(key) + ".example.org";
        break;
    case pProgramme:
        r["zirv_ManufacturerEntityKey"] = pick(pMaker, s(1));
        r["entityTitle"] = std::string(word(s(2))) + " " + std::to_string(key);
        r["entityDescription"] = "A programme of " + std::string(word(s(3))) + " classes";
        r["entityType"] = 1 + static_cast<int>(s(4) % 3);
        r["colour"] = static_cast<int>(s(5) % 0xFFFFFF);
        r["colourContrast"] = static_cast<int>(s(6) % 2);
        r["displayOrder"] = static_cast<int>(index);
        break;
    case pRelease: {
        r["zirv_ProgrammeEntityKey"] = pick(pProgramme, s(1));
        r["entityTitle"] = numbered("Release", key);
        r["entityQualifier"] = "Q" + std::to_string(1 + s(2) % 4);
        char date[16];
        std::snprintf(date, sizeof date, "%04d/%02d/%02d", 2015 + static_cast<int>(s(3) % 10),
                      1 + static_cast<int>(s(4) % 12), 1 + static_cast<int>(s(5) % 28));
        r["releaseDate"] = date;
        r["allowedLocations"] = 1 + static_cast<int>(s(6) % 7);
        r["entityType"] = 1;
        break;
    }
    case pContainer:
        r["entityTitle"] = numbered("Container", key);
        break;
    case pContent:
        r["entityTitle"] = numbered("Block", key);
        r["collectiveName"] = std::string(word(s(1))) + " block";
        r["allowedLocations"] = 1 + static_cast<int>(s(2) % 7);
        break;
    case pAudio:
        r["runningTime"] = 150 + static_cast<int>(s(1) % 300);
        r["titlePPL"] = numbered("Track", key);
        r["titlePPLFree"] = numbered("Track", key) + " (free)";
        r["titleStreaming"] = numbered("Track", key) + " " + word(s(2));
        r["artistPPL"] = numbered("Artist", static_cast<int64_t>(1 + s(3) % 500));
        r["artistPPLFree"] = r["artistPPL"];
        r["artistStreaming"] = r["artistPPL"];
        r["entityType"] = 1;
        r["beatsPerMinute"] = 90 + static_cast<int>(s(4) % 70);
        r["allowedLocations"] = 1 + static_cast<int>(s(5) % 7);
        break;
    case pChoreography:
        r["title1"] = numbered("Choreography", key);
        r["title2"] = word(s(1));
        r["title3"] = word(s(2));
        r["entityType"] = 2;
        break;
    case pReleaseContent:
        r["zirv_ReleaseCollectionEntityKey"] = pick(pRelease, s(1));
        r["zirv_ContainerBlockEntityKey"] = pick(pContainer, s(2));
        r["zirv_ContentBlockEntityKey"] = pick(pContent, s(3));
        r["zirv_AudioDefinitionEntityKey"] = pick(pAudio, s(4));
        r["zirv_VideoDefinitionEntityKey"] = 0;
        r["zirv_ChoreographyDefinitionEntityKey"] = pick(pChoreography, s(5));
        r["containerBlockOrder"] = static_cast<int>(s(6) % 12);
        r["contentBlockOrder"] = static_cast<int>(s(7) % 12);
        r["primaryMediaType"] = 0;
        break;
    case pBonusGroups:
        r["bonusBlockGroupId"] = static_cast<int64_t>(1 + s(1) % 1000);
        r["zirv_ContainerBlockEntityKey"] = pick(pContainer, s(2));
        r["zirv_ContentBlockEntityKey"] = pick(pContent, s(3));
        r["zirv_AudioDefinitionEntityKey"] = pick(pAudio, s(4));
        r["groupNumber"] = static_cast<int>(s(5) % 8);
        r["displayOrder"] = static_cast<int>(index);
        break;
    case pPlaylist:
        r["zirv_ReleaseCollectionEntityKey"] = pick(pRelease, s(1));
        r["title"] = numbered("Playlist", key);
        r["subtitle"] = word(s(2));
        r["displayOrder"] = static_cast<int>(index);
        r["entityType"] = 1;
        r["zirv_PlaylistDefinitionTemplateEntityKey"] = pick(pPlaylist, s(3));
        r["indicatorFlag"] = 0;
        break;
    case pPlaylistContent:
        r["zirv_ReleaseCollectionEntityKey"] = pick(pRelease, s(1));
        r["zirv_ContainerBlockEntityKey"] = pick(pContainer, s(2));
        r["zirv_ContentBlockEntityKey"] = pick(pContent, s(3));
        r["zirv_AudioDefinitionEntityKey"] = pick(pAudio, s(4));
        r["zirv_VideoDefinitionEntityKey"] = 0;
        r["zirv_ChoreographyDefinitionEntityKey"] = pick(pChoreography, s(5));
        r["zirv_AudioBonusBlockGroupEntityKey"] = pick(pBonusGroups, s(6));
        r["zirv_PlaylistDefinitionEntityKey"] = pick(pPlaylist, s(7));
        r["containerBlockOrder"] = static_cast<int>(s(8) % 12);
        r["contentBlockOrder"] = static_cast<int>(s(9) % 12);
        r["zirv_PlaylistContentTemplateEntityKey"] = 0;
        break;
    case pTag:
        r["entityTitle"] = std::string(word(s(1))) + " " + std::to_string(key);
        r["groupNumber"] = static_cast<int>(s(2) % 5);
        r["displayOrder"] = static_cast<int>(index);
        r["orderingMethod"] = static_cast<int>(s(3) % 2);
        break;
    case pAudioTag:
        r["zirv_AudioDefinitionEntityKey"] = pick(pAudio, s(1));
        r["zirv_TagEntityKey"] = pick(pTag, s(2));
        r["restrictionsFlag"] = 0;
        break;
    case pChoreographyTag:
        r["zirv_ChoreographyDefinitionEntityKey"] = pick(pChoreography, s(1));
        r["zirv_TagEntityKey"] = pick(pTag, s(2));
        break;
    case pReportCounts:
        r["reportNumber"] = static_cast<int64_t>(1 + s(1) % 10);
        r["userRegionCode"] = region(s(2));
        r["graphAxisLabel"] = numbered("Week", static_cast<int64_t>(1 + s(3) % 52));
        r["itemType"] = static_cast<int64_t>(s(4) % 3);
        r["itemCount1"] = static_cast<int64_t>(s(5) % 1000);
        r["itemCount2"] = static_cast<int64_t>(s(6) % 1000);
        break;
    case pReportTracks:
        r["reportNumber"] = static_cast<int64_t>(1 + s(1) % 10);
        r["userRegionCode"] = region(s(2));
        r["itemType"] = static_cast<int64_t>(s(3) % 3);
        r["itemCount"] = static_cast<int64_t>(s(4) % 1000);
        r["itemValue"] = static_cast<double>(static_cast<float>((s(5) % 10000) / 100.0));
        break;
    default:
        break;
    }
    return r;
}

Catalogue::Page Catalogue::fill(json& answer, const std::unordered_map<int, int64_t>& markers, int pageSize) const
{
    std::shared_lock lock(m_mutex);
    Page page;
    const auto& tables = catalogueTables();
    for (size_t p = 0; p < tables.size(); ++p) {
        const auto& info = tables[p];
        if (info.syncIdentifier == 0)
            continue;
        auto found = markers.find(info.syncIdentifier);
        const int64_t marker = found == markers.end() ? 0 : found->second;
        const auto& order = m_tables[p].order;
        auto it = std::upper_bound(order.begin(), order.end(), marker,
                                   [](int64_t value, const Entry& e) { return value < e.counter; });
        auto& list = answer[std::string(info.listName)];
        for (; it != order.end(); ++it) {
            if (page.returned >= pageSize) {
                page.moreDataAvailable = true;
                return page;
            }
            list.push_back(make(static_cast<int>(p), it->index, it->counter));
            ++page.returned;
        }
    }
    return page;
}

json Catalogue::record(int syncIdentifier, int64_t key) const
{
    std::shared_lock lock(m_mutex);
    const auto* t = table(syncIdentifier);
    if (!t || key < 1 || key > t->count)
        return nullptr;
    for (const auto& e : t->order)
        if (e.index == static_cast<uint32_t>(key - 1))
            return make(t->position, e.index, e.counter);
    return nullptr;
}

int64_t Catalogue::audioDefinitionFor(std::string_view title, std::string_view hashCode) const
{
    const int64_t n = countAt(pAudio);
    const int64_t named = keyAfterPrefix(title, "Track ");
    return named >= 1 && named <= n ? named : keyFromHash(hashCode, n);
}

int64_t Catalogue::choreographyDefinitionFor(std::string_view title, std::string_view hashCode) const
{
    const int64_t n = countAt(pChoreography);
    const int64_t named = keyAfterPrefix(title, "Choreography ");
    return named >= 1 && named <= n ? named : keyFromHash(hashCode, n);
}

} // namespace zirv::devserver
