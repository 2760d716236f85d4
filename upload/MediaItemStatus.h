#pragma once
// One upload item, and the rows the window shows for the list of items.

#include "app/core/Palette.h"
#include "backend/net/Cancelable.h"
#include "upload/ProcessingState.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>

namespace zirv {

// The transfer of one item's file to cloud storage. Owns the request: closing
// the session (releasing it) aborts a transfer still running and silences it.
struct TransferSession {
    net::Cancelable request;
};

// A shared, mutable item: every holder sees the same object. The steps change
// its members and then store it back into the list (ThreadSafeArray::update).
//
// Threads: uniqueId, checksum, fileLocation, size, mediaType and
// backblazeFileName are fixed at intake and may be read anywhere. Every other
// member is read and written on the main thread only; work done elsewhere hops
// there before it touches them.
struct mediaItemStatus {
    QString uniqueId;
    QString checksum;
    // Kept as a path so that file names which are not UTF-8 survive.
    std::filesystem::path fileLocation;
    bool isCurrentlyProcessing = false;
    ProcessingState currentStatus = ProcessingState::localGetFileDetails;
    int64_t size = 0;
    float runningTime = 0;
    QString itemMetadataTitle;
    QString itemMetadataArtist;
    QString itemMetadataAlbum;
    int64_t itemMetadataTrackNumber = 0;
    int64_t mediaType = 0;
    QString backblazeAccountApiUrlString;
    QString backblazeAccountAuthorizationToken;
    QString backblazeBucketId;
    QString backblazeUploadUrlString;
    QString backblazeUploadAuthorizationToken;
    QString backblazeFileName;
    QString errorMessage;
    // The item's transfer session, made by backblazeUploadFile and closed
    // (reset) once the item has finished.
    std::shared_ptr<TransferSession> session;
};

using MediaItemRef = std::shared_ptr<mediaItemStatus>;

// One row per item.
struct statusListItem {
    int64_t id = 0;
    QString processingStatus;
    QString filePath;
    QString errorMessage;
    QString mediaTypeIcon;
    QString size;
    DisplayColour colour;

    friend bool operator==(const statusListItem&, const statusListItem&) = default;
};

// One row per group of items in one state, or the total row.
struct processingSummaryListItem {
    int64_t id = 0;
    QString processingStatus;
    int64_t itemCount = 0;
    QString size;
    DisplayColour colour;

    friend bool operator==(const processingSummaryListItem&, const processingSummaryListItem&) = default;
};

} // namespace zirv
