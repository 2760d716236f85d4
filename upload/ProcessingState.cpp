#include "ProcessingState.h"

namespace zirv {

QString processingStateText(ProcessingState state)
{
    switch (state) {
    case ProcessingState::processingCompletedError: return QStringLiteral("There is an error");
    case ProcessingState::localGetFileDetails: return QStringLiteral("Getting the details");
    case ProcessingState::serverVerifyChecksum: return QStringLiteral("Connecting to the server");
    case ProcessingState::backblazeGetAuthorisation: return QStringLiteral("Obtaining upload authorisation");
    case ProcessingState::backblazeGetBucketDetails: return QStringLiteral("Obtaining upload area");
    case ProcessingState::backblazeGetUploadUrl: return QStringLiteral("Obtaining upload target");
    case ProcessingState::backblazeUploadFile: return QStringLiteral("Uploading");
    case ProcessingState::backblazeValidateFile: return QStringLiteral("Validating");
    case ProcessingState::serverWriteFileOwnership: return QStringLiteral("Assigning ownership");
    case ProcessingState::processingCompletedOK: return QStringLiteral("Successfully added");
    case ProcessingState::processingAlreadyUploaded: return QStringLiteral("Successfully added");
    case ProcessingState::totalItemsAdded: return QStringLiteral("Total items");
    }
    return QStringLiteral("Unknown");
}

DisplayColour processingStateColour(ProcessingState state)
{
    switch (state) {
    case ProcessingState::processingCompletedError: return {SystemColour::red, 0.8};
    case ProcessingState::localGetFileDetails: return {SystemColour::green, 0.8};
    case ProcessingState::serverVerifyChecksum: return {SystemColour::blue, 0.6};
    case ProcessingState::backblazeGetAuthorisation: return {SystemColour::indigo, 0.5};
    case ProcessingState::backblazeGetBucketDetails: return {SystemColour::pink, 0.6};
    case ProcessingState::backblazeGetUploadUrl: return {SystemColour::mint, 0.7};
    case ProcessingState::backblazeUploadFile: return {SystemColour::purple, 0.5};
    case ProcessingState::backblazeValidateFile: return {SystemColour::brown, 0.8};
    case ProcessingState::serverWriteFileOwnership: return {SystemColour::cyan, 0.7};
    case ProcessingState::processingCompletedOK: return {SystemColour::gray, 0.5};
    case ProcessingState::processingAlreadyUploaded: return {SystemColour::gray, 0.5};
    case ProcessingState::totalItemsAdded: return {SystemColour::gray, 0.5};
    }
    return {SystemColour::secondaryLabel, 1.0};
}

} // namespace zirv
