#pragma once
// The keys of the user-facing messages of the backend subsystem, with the
// English text of each in backend/i18n/zirv2_en.ts.

#include <array>
#include <string_view>

namespace zirv::messageKey {

inline constexpr const char* errorNoData = "_Error.Message.NoData";
inline constexpr const char* errorServerError = "_Error.Message.ServerError";
inline constexpr const char* errorServerErrorWithCode = "_Error.Message.ServerErrorWithCode";
inline constexpr const char* accountConnectionIssueText = "_AccountConnectionIssueText.Description";
inline constexpr const char* errorNetworkConnectionLost = "_Error.Message.NetworkConnectionLost";
inline constexpr const char* errorLoginFail = "_Error.Message.LoginFail";
inline constexpr const char* errorLoginError = "_Error.Message.LoginError";
inline constexpr const char* errorFatal = "_Error.Message.Fatal";
inline constexpr const char* errorAlreadyExists = "_Error.Message.AlreadyExists";
inline constexpr const char* errorCreateFail = "_Error.Message.CreateFail";
inline constexpr const char* errorChangePasswordFail = "_Error.Message.ChangePasswordFail";
inline constexpr const char* accountHasLoggedIn = "_AccountHasLoggedIn.Description";
inline constexpr const char* accountCreated = "_AccountCreated.Description";
inline constexpr const char* accountPasswordChanged = "_AccountPasswordChanged.Description";
inline constexpr const char* loginAccountCancelled = "_LoginAccountCancelled.Description";
inline constexpr const char* accountCreationCancelled = "_AccountCreationCancelled.Description";

// Every key above, for completeness checks of the tables.
inline constexpr std::array all{
    errorNoData,
    errorServerError,
    errorServerErrorWithCode,
    accountConnectionIssueText,
    errorNetworkConnectionLost,
    errorLoginFail,
    errorLoginError,
    errorFatal,
    errorAlreadyExists,
    errorCreateFail,
    errorChangePasswordFail,
    accountHasLoggedIn,
    accountCreated,
    accountPasswordChanged,
    loginAccountCancelled,
    accountCreationCancelled,
};

} // namespace zirv::messageKey
