#pragma once
// The records every backend request and answer shares.

#include "backend/wire/WireRecord.h"

#include <QString>
#include <QUuid>

#include <cstdint>

namespace zirv {

// Backend status codes (the statusCode of commonStatus).
namespace statusCode {
inline constexpr int32_t success = 1;
inline constexpr int32_t authenticationFailed = 21;
inline constexpr int32_t accountExists = 26;
inline constexpr int32_t alreadyHeld = 3;   // hash check: the account holds it; registration: registered
inline constexpr int32_t notHeld = 4;       // hash check: the account does not hold the content
} // namespace statusCode

// The access token sent inside most requests (as `currentSecurity`).
struct commonSecurity {
    QUuid accessToken;
};
ZIRV_WIRE_RECORD(commonSecurity, accessToken)

struct commonDatabaseErrors {
    int32_t errorCode = 0;
    QString errorMessage;
};
ZIRV_WIRE_RECORD(commonDatabaseErrors, errorCode, errorMessage)

// First member (`status`) of every answer; the whole answer of a password change.
struct commonStatus {
    int32_t statusCode = 0;
    int32_t dataRecordsReturned = 0;
    bool moreDataAvailable = false;
    commonDatabaseErrors databaseErrors;
};
ZIRV_WIRE_RECORD(commonStatus, statusCode, dataRecordsReturned, moreDataAvailable, databaseErrors)

} // namespace zirv
