#pragma once
// Records of the upload-registration exchanges: the content-hash check and
// the ownership registration, each in an audio and a choreography form.

#include "backend/wire/CommonRecords.h"

namespace zirv {

struct userStructureAudioHashcodeInput {
    commonSecurity currentSecurity;
    QString fileHashCode;
    int64_t fileSize = 0;
    int32_t itemPlatform = 1;
};
ZIRV_WIRE_RECORD(userStructureAudioHashcodeInput, currentSecurity, fileHashCode, fileSize, itemPlatform)

struct userStructureChoreographyHashcodeInput {
    commonSecurity currentSecurity;
    QString fileHashCode;
    int64_t fileSize = 0;
    int32_t itemPlatform = 1;
};
ZIRV_WIRE_RECORD(userStructureChoreographyHashcodeInput, currentSecurity, fileHashCode, fileSize,
                 itemPlatform)

struct userStructureAudioHashcodeOutput {
    commonStatus status;
};
ZIRV_WIRE_RECORD(userStructureAudioHashcodeOutput, status)

struct userStructureChoreographyHashcodeOutput {
    commonStatus status;
};
ZIRV_WIRE_RECORD(userStructureChoreographyHashcodeOutput, status)

struct userStructureAudioCreateInput {
    commonSecurity currentSecurity;
    QString fileGuidName;
    QString fileHashCode;
    int64_t fileSize = 0;
    int32_t uploadPlatform = 1;
    QString metadataTitle;
    QString metadataArtist;
    QString metadataAlbum;
    int64_t metadataTrackNumber = 0;
    QString metadataFile;
};
ZIRV_WIRE_RECORD(userStructureAudioCreateInput, currentSecurity, fileGuidName, fileHashCode, fileSize,
                 uploadPlatform, metadataTitle, metadataArtist, metadataAlbum, metadataTrackNumber,
                 metadataFile)

struct userStructureChoreographyCreateInput {
    commonSecurity currentSecurity;
    QString fileGuidName;
    QString fileHashCode;
    int64_t fileSize = 0;
    int32_t uploadPlatform = 1;
    QString metadataTitle;
    QString metadataAuthor;
    QString metadataFile;
};
ZIRV_WIRE_RECORD(userStructureChoreographyCreateInput, currentSecurity, fileGuidName, fileHashCode,
                 fileSize, uploadPlatform, metadataTitle, metadataAuthor, metadataFile)

struct userStructureAudioCreateOutput {
    commonStatus status;
};
ZIRV_WIRE_RECORD(userStructureAudioCreateOutput, status)

struct userStructureChoreographyCreateOutput {
    commonStatus status;
};
ZIRV_WIRE_RECORD(userStructureChoreographyCreateOutput, status)

} // namespace zirv
