#pragma once
// The processing states of an upload item, in their fixed order, with the
// text and colour each shows in the window.

#include "app/core/Palette.h"

#include <QString>

namespace zirv {

// Comparing two states compares their positions in this list.
enum class ProcessingState : int {
    processingCompletedError = 0,
    localGetFileDetails = 1,
    serverVerifyChecksum = 2,
    backblazeGetAuthorisation = 3,
    backblazeGetBucketDetails = 4,
    backblazeGetUploadUrl = 5,
    backblazeUploadFile = 6,
    backblazeValidateFile = 7,
    serverWriteFileOwnership = 8,
    processingCompletedOK = 9,
    processingAlreadyUploaded = 10,
    // Never an item's state: labels the total row of the summary.
    totalItemsAdded = 11,
};

inline constexpr int processingStateCount = 12;

constexpr int ordinal(ProcessingState state)
{
    return static_cast<int>(state);
}

// States 1 to 8: the item waits for, or runs, the step of that name.
constexpr bool isPending(ProcessingState state)
{
    return state >= ProcessingState::localGetFileDetails
        && state <= ProcessingState::serverWriteFileOwnership;
}

// The display text; "Unknown" for a value outside the enumeration.
QString processingStateText(ProcessingState state);

// The display colour; the secondary text colour for a value outside the enumeration.
DisplayColour processingStateColour(ProcessingState state);

} // namespace zirv
