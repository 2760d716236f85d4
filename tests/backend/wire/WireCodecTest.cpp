#include "backend/wire/AccountRecords.h"
#include "backend/wire/CommonRecords.h"
#include "backend/wire/UploadRecords.h"
#include "backend/wire/WireCodec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace zirv {

// A record touching every member type the codec knows.
struct codecProbe {
    bool flag = false;
    int16_t small = 0;
    int32_t medium = 0;
    int64_t large = 0;
    float ratio = 0;
    QString text;
    QUuid key;
    commonDatabaseErrors nested;
    std::vector<commonDatabaseErrors> list;
    std::vector<int32_t> numbers;
};
ZIRV_WIRE_RECORD(codecProbe, flag, small, medium, large, ratio, text, key, nested, list, numbers)

namespace {

using ::testing::HasSubstr;

const char* const validProbe = R"({"flag":true,"small":-32768,"medium":2147483647,
    "large":-9223372036854775808,"ratio":1.5,"text":"Grüße \"x\"",
    "key":"5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95",
    "nested":{"errorCode":7,"errorMessage":"m"},
    "list":[{"errorCode":1,"errorMessage":"a"},{"errorCode":2,"errorMessage":"b"}],
    "numbers":[1,2,3]})";

TEST(WireCodec, ReadsEveryMemberTypeAndAcceptsLowerCaseUuids)
{
    const auto result = wire::decode<codecProbe>(validProbe);
    ASSERT_TRUE(result) << result.error;
    const codecProbe& probe = *result.value;
    EXPECT_TRUE(probe.flag);
    EXPECT_EQ(probe.small, -32768);
    EXPECT_EQ(probe.medium, 2147483647);
    EXPECT_EQ(probe.large, std::numeric_limits<int64_t>::min());
    EXPECT_FLOAT_EQ(probe.ratio, 1.5f);
    EXPECT_EQ(probe.text, QStringLiteral("Grüße \"x\""));
    EXPECT_EQ(probe.key, QUuid(QStringLiteral("5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95")));
    EXPECT_EQ(probe.nested.errorCode, 7);
    ASSERT_EQ(probe.list.size(), 2u);
    EXPECT_EQ(probe.list[1].errorMessage, QStringLiteral("b"));
    EXPECT_EQ(probe.numbers, (std::vector<int32_t>{1, 2, 3}));
}

TEST(WireCodec, WritesUuidsUpperCaseAndRoundTrips)
{
    const auto decoded = wire::decode<codecProbe>(validProbe);
    ASSERT_TRUE(decoded);
    const auto text = wire::encode(*decoded.value);
    ASSERT_TRUE(text);
    EXPECT_THAT(*text, HasSubstr(R"("key":"5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95")"));
    EXPECT_THAT(*text, HasSubstr(R"("ratio":1.5)"));

    const auto again = wire::decode<codecProbe>(*text);
    ASSERT_TRUE(again) << again.error;
    EXPECT_EQ(wire::encode(*again.value), text);
}

TEST(WireCodec, WritesFloatsInTheirShortestForm)
{
    accountLoginOutput answer;
    answer.totalDataStored = 0.1f;
    answer.totalPaid = 1234.5f;
    const auto json = wire::toJson(answer);
    EXPECT_EQ(json["totalDataStored"].dump(), "0.1");
    EXPECT_EQ(json["totalPaid"].dump(), "1234.5");
}

TEST(WireCodec, WritesExactlyTheDeclaredMembers)
{
    userStructureAudioHashcodeInput input;
    input.currentSecurity.accessToken = QUuid(QStringLiteral("5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95"));
    input.fileHashCode = QStringLiteral("abc");
    input.fileSize = 5'000'000'000;
    input.itemPlatform = 1;
    EXPECT_EQ(wire::encode(input),
              R"({"currentSecurity":{"accessToken":"5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95"},)"
              R"("fileHashCode":"abc","fileSize":5000000000,"itemPlatform":1})");

    commonSecurity zero;
    EXPECT_EQ(wire::encode(zero), R"({"accessToken":"00000000-0000-0000-0000-000000000000"})");
}

struct StrictCase {
    const char* name;
    std::string json;
    const char* errorMentions;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StrictCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string status(const std::string& members)
{
    return R"({"status":{)" + members + "}}";
}

const std::string goodErrors = R"("databaseErrors":{"errorCode":0,"errorMessage":""})";

std::string statusBody4()
{
    return status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":false,)" + goodErrors);
}

class WireCodecStrict : public ::testing::TestWithParam<StrictCase> {};

TEST_P(WireCodecStrict, RefusesTheWholeAnswer)
{
    const auto result = wire::decode<userStructureAudioHashcodeOutput>(GetParam().json);
    EXPECT_FALSE(result);
    EXPECT_THAT(result.error, HasSubstr(GetParam().errorMentions));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireCodecStrict,
    ::testing::Values(
        StrictCase{"MissingMoreDataAvailable",
                   status(R"("statusCode":4,"dataRecordsReturned":0,)" + goodErrors),
                   "commonStatus.moreDataAvailable is missing"},
        StrictCase{"NullMoreDataAvailable",
                   status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":null,)" + goodErrors),
                   "moreDataAvailable is null or not a Boolean"},
        StrictCase{"NumberForBoolean",
                   status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":0,)" + goodErrors),
                   "moreDataAvailable"},
        StrictCase{"StringForInteger",
                   status(R"("statusCode":"4","dataRecordsReturned":0,"moreDataAvailable":false,)" + goodErrors),
                   "statusCode is null or not an integer"},
        StrictCase{"FractionForInteger",
                   status(R"("statusCode":4.5,"dataRecordsReturned":0,"moreDataAvailable":false,)" + goodErrors),
                   "statusCode"},
        StrictCase{"Int32Overflow",
                   status(R"("statusCode":2147483648,"dataRecordsReturned":0,"moreDataAvailable":false,)" + goodErrors),
                   "statusCode is out of range"},
        StrictCase{"Int32Underflow",
                   status(R"("statusCode":-2147483649,"dataRecordsReturned":0,"moreDataAvailable":false,)" + goodErrors),
                   "statusCode is out of range"},
        StrictCase{"NullNestedRecord",
                   status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":false,"databaseErrors":null)"),
                   "databaseErrors is null or not an object"},
        StrictCase{"MissingNestedMember",
                   status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":false,"databaseErrors":{"errorCode":0})"),
                   "commonDatabaseErrors.errorMessage is missing"},
        StrictCase{"NullString",
                   status(R"("statusCode":4,"dataRecordsReturned":0,"moreDataAvailable":false,"databaseErrors":{"errorCode":0,"errorMessage":null})"),
                   "errorMessage is null or not a string"},
        StrictCase{"MissingStatus", R"({"other":1})", "status is missing"},
        StrictCase{"ArrayAtTheTop", "[]", "not a JSON object"},
        StrictCase{"Html", "<html><body>Bad gateway</body></html>", ""},
        StrictCase{"Empty", "", "not JSON"},
        StrictCase{"ExtraClosingBrace", statusBody4() + "}", "goes on after"},
        StrictCase{"SecondObject", statusBody4() + " {}", "goes on after"},
        StrictCase{"Truncated", R"({"status":{"statusCode":4,"dataRe)", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct WidthCase {
    const char* name;
    std::string json;
    bool decodes;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const WidthCase& c, std::ostream* out)
{
    *out << c.name;
}

class WireCodecWidths : public ::testing::TestWithParam<WidthCase> {};

TEST_P(WireCodecWidths, IntegersMustFitTheirMember)
{
    EXPECT_EQ(static_cast<bool>(wire::decode<codecProbe>(GetParam().json)), GetParam().decodes);
}

std::string probeWith(const std::string& replaceMember, const std::string& value)
{
    std::string json = validProbe;
    const auto at = json.find("\"" + replaceMember + "\":");
    const auto start = at + replaceMember.size() + 3;
    const auto end = json[start] == '[' ? json.find(']', start) + 1 : json.find_first_of(",}", start);
    return json.replace(start, end - start, value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WireCodecWidths,
    ::testing::Values(WidthCase{"Int16Max", probeWith("small", "32767"), true},
                      WidthCase{"Int16Overflow", probeWith("small", "32768"), false},
                      WidthCase{"Int16Underflow", probeWith("small", "-32769"), false},
                      WidthCase{"Int64Overflow", probeWith("large", "9223372036854775808"), false},
                      WidthCase{"FloatFromInteger", probeWith("ratio", "3"), true},
                      WidthCase{"FloatTooLarge", probeWith("ratio", "1e39"), false},
                      WidthCase{"UuidWithoutHyphens", probeWith("key", "\"5d2a9c41e7b34f609a183c6e0b7d2f95\""), false},
                      WidthCase{"UuidWithBraces", probeWith("key", "\"{5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2f95}\""), false},
                      WidthCase{"UuidNotHex", probeWith("key", "\"5d2a9c41-e7b3-4f60-9a18-3c6e0b7d2fzz\""), false},
                      WidthCase{"MixedCaseUuid", probeWith("key", "\"5D2a9C41-e7B3-4f60-9A18-3c6E0b7D2f95\""), true},
                      WidthCase{"ListElementOfWrongType", probeWith("numbers", "[1,\"2\"]"), false},
                      WidthCase{"EmptyList", probeWith("numbers", "[]"), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WireCodec, AcceptsWhiteSpaceAroundTheObject)
{
    EXPECT_TRUE(wire::decode<userStructureAudioHashcodeOutput>(" \n\t" + statusBody4() + "\r\n "));
}

TEST(WireCodec, IgnoresMembersItDoesNotKnowAndAnyOrder)
{
    const auto result = wire::decode<userStructureAudioHashcodeOutput>(
        R"({"extra":{"deep":[1,{"x":null}]},"status":{"databaseErrors":{"errorMessage":"m","errorCode":3,"more":1},
           "moreDataAvailable":true,"dataRecordsReturned":2,"statusCode":4,"unknown":"u"},"tail":null})");
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(result.value->status.statusCode, 4);
    EXPECT_EQ(result.value->status.dataRecordsReturned, 2);
    EXPECT_TRUE(result.value->status.moreDataAvailable);
    EXPECT_EQ(result.value->status.databaseErrors.errorCode, 3);
    EXPECT_EQ(result.value->status.databaseErrors.errorMessage, QStringLiteral("m"));
}

TEST(WireCodec, DecodesTheAccountAnswer)
{
    const auto result = wire::decode<accountLoginOutput>(R"({
        "status":{"statusCode":1,"dataRecordsReturned":0,"moreDataAvailable":false,
                  "databaseErrors":{"errorCode":0,"errorMessage":""}},
        "security":{"accessToken":"a1b2c3d4-0000-4000-8000-00000000abcd"},
        "email":"a@b.c","indicatorFlag":2,"userName":"n","userNamePublic":"p","userMobile":"m",
        "subscriptionExpiry":"2024-01-01T00:00:00","totalDataStored":12.5,"totalPaid":0,
        "statusCode":1,"whenCreated":"2023-05-01T10:20:30","updateRecord":9007199254740993})");
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(result.value->security.accessToken,
              QUuid(QStringLiteral("A1B2C3D4-0000-4000-8000-00000000ABCD")));
    EXPECT_EQ(result.value->updateRecord, 9007199254740993);
    EXPECT_FLOAT_EQ(result.value->totalDataStored, 12.5f);
}

} // namespace
} // namespace zirv
