#include "UploadTestSupport.h"

#include "app/core/Formatting.h"
#include "upload/MediaTypes.h"
#include "upload/ProcessingState.h"

#include <gtest/gtest.h>

using namespace zirv;
using namespace zirv::test;

namespace {

struct StateCase {
    ProcessingState state;
    const char* text;
    DisplayColour colour;
};

} // namespace

TEST(ProcessingStates, TextsAndColoursFollowTheTable)
{
    const StateCase cases[] = {
        {ProcessingState::processingCompletedError, "There is an error", {SystemColour::red, 0.8}},
        {ProcessingState::localGetFileDetails, "Getting the details", {SystemColour::green, 0.8}},
        {ProcessingState::serverVerifyChecksum, "Connecting to the server", {SystemColour::blue, 0.6}},
        {ProcessingState::backblazeGetAuthorisation, "Obtaining upload authorisation", {SystemColour::indigo, 0.5}},
        {ProcessingState::backblazeGetBucketDetails, "Obtaining upload area", {SystemColour::pink, 0.6}},
        {ProcessingState::backblazeGetUploadUrl, "Obtaining upload target", {SystemColour::mint, 0.7}},
        {ProcessingState::backblazeUploadFile, "Uploading", {SystemColour::purple, 0.5}},
        {ProcessingState::backblazeValidateFile, "Validating", {SystemColour::brown, 0.8}},
        {ProcessingState::serverWriteFileOwnership, "Assigning ownership", {SystemColour::cyan, 0.7}},
        {ProcessingState::processingCompletedOK, "Successfully added", {SystemColour::gray, 0.5}},
        {ProcessingState::processingAlreadyUploaded, "Successfully added", {SystemColour::gray, 0.5}},
        {ProcessingState::totalItemsAdded, "Total items", {SystemColour::gray, 0.5}},
        {static_cast<ProcessingState>(12), "Unknown", {SystemColour::secondaryLabel, 1.0}},
    };
    for (const StateCase& c : cases) {
        SCOPED_TRACE(ordinal(c.state));
        EXPECT_EQ(processingStateText(c.state), QString::fromUtf8(c.text));
        EXPECT_EQ(processingStateColour(c.state), c.colour);
        EXPECT_EQ(isPending(c.state), ordinal(c.state) >= 1 && ordinal(c.state) <= 8);
    }
    EXPECT_LT(ProcessingState::processingCompletedError, ProcessingState::localGetFileDetails);
    EXPECT_LT(ProcessingState::serverWriteFileOwnership, ProcessingState::processingCompletedOK);
}

TEST(ProcessingStates, MediaTypeIcons)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "music.note"},
        {1, "tv"},
        {2, "list.bullet.rectangle.portrait"},
        {3, "music.note.tv"},
        {-1, "music.note.tv"},
    };
    for (const auto& [code, icon] : cases)
        EXPECT_EQ(mediaTypeIcons(code), QString::fromUtf8(icon)) << code;
}

class Rows : public ::testing::Test {
protected:
    NotificationHub hub;
    ContentCache cache{hub};
};

TEST_F(Rows, SummaryHasTheTotalThenEachPresentStateInOrder)
{
    const std::vector<MediaItemRef> items = {
        itemIn(ProcessingState::processingCompletedOK, 1000),
        itemIn(ProcessingState::localGetFileDetails, 200),
        itemIn(ProcessingState::backblazeUploadFile, 30),
        itemIn(ProcessingState::processingCompletedError, 4),
        itemIn(ProcessingState::localGetFileDetails, 5000),
    };
    const auto rows = cache.buildProcessingSummary(items);

    struct Expected {
        const char* text;
        int64_t count;
        int64_t size;
        ProcessingState colourOf;
    };
    const Expected expected[] = {
        {"Total items", 5, 6234, ProcessingState::totalItemsAdded},
        {"There is an error", 1, 4, ProcessingState::processingCompletedError},
        {"Getting the details", 2, 5200, ProcessingState::localGetFileDetails},
        {"Uploading", 1, 30, ProcessingState::backblazeUploadFile},
        {"Successfully added", 1, 1000, ProcessingState::processingCompletedOK},
    };
    ASSERT_EQ(rows.size(), std::size(expected));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].id, static_cast<int64_t>(i + 1));
        EXPECT_EQ(rows[i].processingStatus, QString::fromUtf8(expected[i].text));
        EXPECT_EQ(rows[i].itemCount, expected[i].count);
        EXPECT_EQ(rows[i].size, byteCountString(expected[i].size));
        EXPECT_EQ(rows[i].colour, processingStateColour(expected[i].colourOf));
    }
    EXPECT_TRUE(cache.buildProcessingSummary({}).empty());
}

TEST_F(Rows, AlreadyUploadedFollowsCompleted)
{
    const auto rows = cache.buildProcessingSummary({
        itemIn(ProcessingState::processingAlreadyUploaded, 1),
        itemIn(ProcessingState::processingCompletedOK, 2),
        itemIn(ProcessingState::serverWriteFileOwnership, 3),
    });
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].processingStatus, QStringLiteral("Assigning ownership"));
    EXPECT_EQ(rows[2].size, byteCountString(2));
    EXPECT_EQ(rows[3].size, byteCountString(1));
}

TEST_F(Rows, StatusListIsOrderedByStateThenSizeKeepingListOrderOnTies)
{
    const std::vector<MediaItemRef> items = {
        itemIn(ProcessingState::processingCompletedOK, 10, 0, "/m/ok.mp3"),
        itemIn(ProcessingState::localGetFileDetails, 300, 2, "/m/big.pdf"),
        itemIn(ProcessingState::localGetFileDetails, 100, 0, "/m/tie-first.mp3"),
        itemIn(ProcessingState::localGetFileDetails, 100, 7, "/m/tie-second.mp3"),
        itemIn(ProcessingState::processingCompletedError, 999, 0, "/m/failed.m4a"),
    };
    items[4]->errorMessage = QStringLiteral("No data was returned from the server");

    const auto rows = cache.buildStatusList(items);
    const char* order[] = {"/m/failed.m4a", "/m/tie-first.mp3", "/m/tie-second.mp3", "/m/big.pdf", "/m/ok.mp3"};
    ASSERT_EQ(rows.size(), std::size(order));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(order[i]);
        EXPECT_EQ(rows[i].filePath, QString::fromUtf8(order[i]));
        EXPECT_EQ(rows[i].id, static_cast<int64_t>(i + 1));
    }
    EXPECT_EQ(rows[0].errorMessage, QStringLiteral("No data was returned from the server"));
    EXPECT_EQ(rows[0].processingStatus, QStringLiteral("There is an error"));
    EXPECT_EQ(rows[0].colour, processingStateColour(ProcessingState::processingCompletedError));
    EXPECT_EQ(rows[0].size, byteCountString(999));
    EXPECT_EQ(rows[2].mediaTypeIcon, QStringLiteral("music.note.tv"));
    EXPECT_EQ(rows[3].mediaTypeIcon, QStringLiteral("list.bullet.rectangle.portrait"));
    EXPECT_EQ(rows[4].mediaTypeIcon, QStringLiteral("music.note"));
}

TEST_F(Rows, TwoPassesOverUnchangedItemsGiveEqualRows)
{
    const std::vector<MediaItemRef> items = {
        itemIn(ProcessingState::backblazeUploadFile, 30),
        itemIn(ProcessingState::localGetFileDetails, 20),
        itemIn(ProcessingState::processingCompletedOK, 10),
    };
    const auto pass = [&] {
        cache.internalId.reset();
        auto status = cache.buildStatusList(items);
        auto summary = cache.buildProcessingSummary(items);
        return std::pair(status, summary);
    };
    const auto first = pass();
    const auto second = pass();
    EXPECT_EQ(first, second);
    // Status rows take their ids first, the summary rows after them.
    EXPECT_EQ(first.first.back().id, 3);
    EXPECT_EQ(first.second.front().id, 4);
}
