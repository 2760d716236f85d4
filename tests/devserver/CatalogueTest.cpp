#include "DevServerHarness.h"

#include "devserver/Catalogue.h"

#include <map>
#include <set>

namespace zirv::devserver::test {
namespace {

// The list a reference member points into, or empty for members that are
// stored as plain numbers or refer to the unnumbered video tables.
std::string targetList(const std::string& member)
{
    static const std::map<std::string, std::string> targets = {
        {"zirv_ManufacturerEntityKey", "listZIRV_Manufacturer"},
        {"zirv_ProgrammeEntityKey", "listZIRV_Programme"},
        {"zirv_ReleaseCollectionEntityKey", "listZIRV_ReleaseCollection"},
        {"zirv_ContainerBlockEntityKey", "listZIRV_ContainerBlock"},
        {"zirv_ContentBlockEntityKey", "listZIRV_ContentBlock"},
        {"zirv_AudioDefinitionEntityKey", "listZIRV_AudioDefinition"},
        {"zirv_ChoreographyDefinitionEntityKey", "listZIRV_ChoreographyDefinition"},
        {"zirv_PlaylistDefinitionEntityKey", "listZIRV_PlaylistDefinition"},
        {"zirv_TagEntityKey", "listZIRV_Tag"},
    };
    auto it = targets.find(member);
    return it == targets.end() ? std::string() : it->second;
}

const std::vector<int> kReported = {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 17, 18, 19};

struct Reader {
    Harness& h;
    std::string token;
    std::map<int, int64_t> markers;
    std::map<std::string, std::set<int64_t>> held; // keys received per list

    json read()
    {
        json changes = json::array();
        for (int table : kReported)
            changes.push_back({{"syncIdentifier", table}, {"updateRecord", markers[table]}});
        return h.post("zirvDefinedStructureChangesRead",
                      {{"currentSecurity", Harness::security(token)}, {"currentChanges", changes}});
    }

    // Applies an answer as a client would, in list order; answers the number
    // of references that pointed at records not yet held.
    int apply(const json& answer)
    {
        int dangling = 0;
        for (const auto& table : catalogueTables()) {
            for (const auto& record : answer[std::string(table.listName)]) {
                for (const auto& [member, value] : record.items()) {
                    const auto list = targetList(member);
                    if (!list.empty() && !held[list].count(value.get<int64_t>()))
                        ++dangling;
                }
                held[std::string(table.listName)].insert(record["entityKey"].get<int64_t>());
                if (table.syncIdentifier != 0)
                    markers[table.syncIdentifier] =
                        std::max(markers[table.syncIdentifier], record["updateRecord"].get<int64_t>());
            }
        }
        return dangling;
    }
};

TEST(DevServerCatalogue, PagesToTheEndOfTenThousandRecords)
{
    Harness h([](Options& o) {
        o.catalogueSize = 10000;
        o.pageSize = 500;
    });
    Reader reader{h, h.createAccount(), {}, {}};
    int pages = 0;
    int64_t total = 0;
    std::set<int64_t> counters;
    for (;;) {
        auto answer = reader.read();
        ASSERT_EQ(checkRecord("zirvChangesOutput", answer), "");
        const auto& status = answer["status"];
        ASSERT_EQ(status["statusCode"], 1);
        int inAnswer = 0;
        for (const auto& table : catalogueTables()) {
            for (const auto& record : answer[std::string(table.listName)]) {
                EXPECT_TRUE(counters.insert(record["updateRecord"].get<int64_t>()).second);
                ++inAnswer;
            }
        }
        EXPECT_EQ(status["dataRecordsReturned"], inAnswer);
        EXPECT_LE(inAnswer, 500);
        EXPECT_EQ(reader.apply(answer), 0) << "a record arrived before its parent, page " << pages;
        total += inAnswer;
        ++pages;
        if (!status["moreDataAvailable"].get<bool>())
            break;
        EXPECT_EQ(inAnswer, 500);
        ASSERT_LT(pages, 100);
    }
    EXPECT_EQ(total, 10000);
    EXPECT_EQ(pages, 20);
    EXPECT_TRUE(reader.held["listZIRV_VideoDefinition"].empty());

    // Nothing more once everything is held.
    auto after = reader.read();
    EXPECT_EQ(after["status"]["dataRecordsReturned"], 0);
    EXPECT_EQ(after["status"]["moreDataAvailable"], false);

    // An edited record comes again, with a counter above every other.
    auto touch = h.backend->Post("/control/catalogue/touch", R"({"syncIdentifier":7,"count":3})", "application/json");
    ASSERT_TRUE(touch && touch->status == 200);
    auto edited = reader.read();
    ASSERT_EQ(edited["listZIRV_AudioDefinition"].size(), 3u);
    EXPECT_GT(edited["listZIRV_AudioDefinition"][0]["updateRecord"].get<int64_t>(), *counters.rbegin());
    EXPECT_EQ(edited["status"]["dataRecordsReturned"], 3);
}

TEST(DevServerCatalogue, IsTheSameForTheSameSize)
{
    Catalogue a(5000, 1), b(5000, 1);
    EXPECT_EQ(a.size(), 5000);
    for (int table : kReported) {
        SCOPED_TRACE(table);
        ASSERT_GT(a.count(table), 0);
        EXPECT_EQ(a.record(table, 1), b.record(table, 1));
        EXPECT_EQ(a.record(table, a.count(table)), b.record(table, b.count(table)));
        const auto& info = *std::find_if(catalogueTables().begin(), catalogueTables().end(),
                                         [&](const CatalogueTable& t) { return t.syncIdentifier == table; });
        EXPECT_EQ(checkRecord(info.recordName, a.record(table, 1)), "");
    }
}

TEST(DevServerCatalogue, ReachesAHundredThousandRecords)
{
    Catalogue big(100000, 1);
    EXPECT_EQ(big.size(), 100000);
    EXPECT_EQ(big.lastCounter(), 100000);
}

} // namespace
} // namespace zirv::devserver::test
