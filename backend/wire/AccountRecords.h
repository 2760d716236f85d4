#pragma once
// Records of the account exchanges: log-in, account creation, password change
// (whose answer is a bare commonStatus).

#include "backend/wire/CommonRecords.h"

namespace zirv {

struct accountLoginInput {
    QString securityToken;
    QString securityEmail;
    QString securityPassword;
};
ZIRV_WIRE_RECORD(accountLoginInput, securityToken, securityEmail, securityPassword)

struct accountCreateInput {
    QString securityToken;
    QString securityEmail;
    QString securityPassword;
    QString userRegionCode;
    QString userLanguageCode;
};
ZIRV_WIRE_RECORD(accountCreateInput, securityToken, securityEmail, securityPassword, userRegionCode,
                 userLanguageCode)

// Dates (subscriptionExpiry, whenCreated) travel as text.
struct accountLoginOutput {
    commonStatus status;
    commonSecurity security;
    QString email;
    int32_t indicatorFlag = 0;
    QString userName;
    QString userNamePublic;
    QString userMobile;
    QString subscriptionExpiry;
    float totalDataStored = 0;
    float totalPaid = 0;
    int32_t statusCode = 0;
    QString whenCreated;
    int64_t updateRecord = 0;
};
ZIRV_WIRE_RECORD(accountLoginOutput, status, security, email, indicatorFlag, userName, userNamePublic,
                 userMobile, subscriptionExpiry, totalDataStored, totalPaid, statusCode, whenCreated,
                 updateRecord)

// Same layout as the log-in answer.
struct accountCreateOutput {
    commonStatus status;
    commonSecurity security;
    QString email;
    int32_t indicatorFlag = 0;
    QString userName;
    QString userNamePublic;
    QString userMobile;
    QString subscriptionExpiry;
    float totalDataStored = 0;
    float totalPaid = 0;
    int32_t statusCode = 0;
    QString whenCreated;
    int64_t updateRecord = 0;
};
ZIRV_WIRE_RECORD(accountCreateOutput, status, security, email, indicatorFlag, userName, userNamePublic,
                 userMobile, subscriptionExpiry, totalDataStored, totalPaid, statusCode, whenCreated,
                 updateRecord)

struct accountChangePasswordInput {
    commonSecurity currentSecurity;
    QString securityEmail;
    QString securityCurrentPassword;
    QString securityNewPassword;
};
ZIRV_WIRE_RECORD(accountChangePasswordInput, currentSecurity, securityEmail, securityCurrentPassword,
                 securityNewPassword)

} // namespace zirv
