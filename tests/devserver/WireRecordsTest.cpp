#include "devserver/WireRecords.h"

#include <gtest/gtest.h>

#include <cctype>

namespace zirv::devserver {
namespace {

TEST(WireRecords, DefaultRecordsAreCompleteForEveryAnswer)
{
    for (const char* name : {"accountLoginOutput", "commonStatus", "zirvChangesOutput",
                             "userStructureDownloadChangesOutput", "userStructureUploadChangesOutput",
                             "userStructureStatusOutput", "zirvAudioDefinition", "opsUserAudio", "userAccount"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(findWireRecord(name), nullptr);
        EXPECT_EQ(checkRecord(name, defaultRecord(name)), "");
    }
    const auto catalogue = defaultRecord("zirvChangesOutput");
    EXPECT_EQ(catalogue.size(), 20u); // status and nineteen lists
    EXPECT_TRUE(catalogue["listZIRV_VideoDefinitionTag"].is_array());
}

struct CheckCase {
    const char* what;
    const char* record;
    nlohmann::json value;
    bool accepted;
};

class WireRecordCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(WireRecordCheck, ReadsStrictly)
{
    const auto& c = GetParam();
    EXPECT_EQ(checkRecord(c.record, c.value).empty(), c.accepted) << checkRecord(c.record, c.value);
}

using nlohmann::json;

INSTANTIATE_TEST_SUITE_P(
    Cases, WireRecordCheck,
    testing::Values(
        CheckCase{"complete", "commonLastAppUserChangesItem", json{{"syncIdentifier", 51}, {"updateRecord", 7}}, true},
        CheckCase{"extra member ignored", "commonLastAppUserChangesItem",
                  json{{"syncIdentifier", 51}, {"updateRecord", 7}, {"other", "x"}}, true},
        CheckCase{"missing member", "commonLastAppUserChangesItem", json{{"syncIdentifier", 51}}, false},
        CheckCase{"null member", "commonLastAppUserChangesItem", json{{"syncIdentifier", 51}, {"updateRecord", nullptr}}, false},
        CheckCase{"text for a number", "commonLastAppUserChangesItem", json{{"syncIdentifier", "51"}, {"updateRecord", 7}}, false},
        CheckCase{"fraction for an integer", "commonLastAppUserChangesItem", json{{"syncIdentifier", 1.5}, {"updateRecord", 7}}, false},
        CheckCase{"int32 overflow", "commonLastAppUserChangesItem",
                  json{{"syncIdentifier", 4294967296LL}, {"updateRecord", 7}}, false},
        CheckCase{"lower-case UUID", "commonSecurity", json{{"accessToken", "5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95"}}, true},
        CheckCase{"malformed UUID", "commonSecurity", json{{"accessToken", "5d2a9c41e7b34f609a183c6e0b7d2f95"}}, false},
        CheckCase{"nested fault", "userStructureChangesInput",
                  json{{"currentSecurity", {{"accessToken", "x"}}}, {"currentChanges", json::array()}}, false},
        CheckCase{"list element fault", "userStructureChangesInput",
                  json{{"currentSecurity", {{"accessToken", std::string(zeroUuid)}}},
                       {"currentChanges", {{{"syncIdentifier", 1}}}}},
                  false}),
    [](const testing::TestParamInfo<CheckCase>& info) {
        std::string name;
        bool upper = true;
        for (const char* c = info.param.what; *c; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) {
                name.push_back(upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c);
                upper = false;
            } else {
                upper = true;
            }
        }
        return name;
    });

TEST(WireRecords, Int16RangeIsChecked)
{
    auto record = defaultRecord("userClassHistory");
    record["teachingPerformanceRating"] = 32767;
    EXPECT_EQ(checkRecord("userClassHistory", record), "");
    record["teachingPerformanceRating"] = 32768;
    EXPECT_NE(checkRecord("userClassHistory", record), "");
}

TEST(WireRecords, UuidsAreWrittenInUpperCase)
{
    EXPECT_EQ(canonicalUuid("5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95"), "5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95");
}

} // namespace
} // namespace zirv::devserver
