#pragma once
// Every notification name of the application, and the payloads they carry.
// Payloads live only inside the process; nothing here is stored or sent.

#include <QString>

#include <string_view>

namespace zirv::notify {

inline constexpr std::string_view eventInvokePanelLoginAccount = "notifyEventInvokePanelLoginAccount";
inline constexpr std::string_view eventActionCreateAccount = "notifyEventActionCreateAccount";
inline constexpr std::string_view eventInvokePanelChangePassword = "notifyEventInvokePanelChangePassword";
inline constexpr std::string_view eventInvokePanelLogoutAccount = "notifyEventInvokePanelLogoutAccount";
inline constexpr std::string_view eventActionLogoutCompleted = "notifyEventActionLogoutCompleted";
inline constexpr std::string_view eventMessageNetwork = "notifyEventMessageNetwork";
inline constexpr std::string_view eventMessageDataSync = "notifyEventMessageDataSync";
inline constexpr std::string_view networkStatusDown = "notifyNetworkStatusDown";
inline constexpr std::string_view networkStatusUp = "notifyNetworkStatusUp";
inline constexpr std::string_view zirvDataStoreModified = "zirvDataStoreModified";
inline constexpr std::string_view userDataStoreModified = "userDataStoreModified";
inline constexpr std::string_view accountDataStoreModified = "accountDataStoreModified";

} // namespace zirv::notify

namespace zirv {

enum class NotifyEventMessageTypeIdentifier {
    none,
    createAccount,
    loginAccount,
    changePasswordAccount,
    definedDataDownload,
    userDataDownload,
    userDataForceDownload,
    userDataUpload,
};

enum class NotifyEventTargetPanelIdentifier {
    none,
    homeView,
    myAccountView,
};

struct PayloadNotifyEventInvokePanel {
    NotifyEventTargetPanelIdentifier targetPanelId = NotifyEventTargetPanelIdentifier::none;
};

struct PayloadNotifyEventMessageNetwork {
    NotifyEventMessageTypeIdentifier actionId = NotifyEventMessageTypeIdentifier::none;
    bool success = false;
    QString userMessage;
};

struct PayloadNotifyEventMessageDataSync {
    NotifyEventMessageTypeIdentifier actionId = NotifyEventMessageTypeIdentifier::none;
    bool success = false;
    bool dataProcessed = false;
    bool moreDataAvailable = false;
};

} // namespace zirv
