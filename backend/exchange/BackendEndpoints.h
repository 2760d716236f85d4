#pragma once
// The backend's operations: every path is posted to under the backend base
// address (backendBaseUrl()), with its inactivity time-out.

#include <chrono>

namespace zirv {

struct Endpoint {
    const char* path;
    std::chrono::seconds timeout;
};

namespace endpoint {

using namespace std::chrono_literals;

inline constexpr Endpoint accountLogin{"/api/zirvAccountLogin", 90s};
inline constexpr Endpoint accountCreate{"/api/zirvAccountCreate", 90s};
inline constexpr Endpoint accountChangePassword{"/api/zirvAccountChangePassword", 90s};
inline constexpr Endpoint definedStructureChangesRead{"/api/zirvDefinedStructureChangesRead", 600s};
inline constexpr Endpoint userStructureChangesRead{"/api/zirvUserStructureChangesRead", 600s};
inline constexpr Endpoint userStructureForceDownload{"/api/zirvUserStructureForceDownload", 600s};
inline constexpr Endpoint userStructureChangesUpdate{"/api/zirvUserStructureChangesUpdate", 600s};
inline constexpr Endpoint userAudioHashcode{"/api/zirvUserAudioHashcode", 20s};
inline constexpr Endpoint userChoreographyHashcode{"/api/zirvUserChoreographyHashcode", 20s};
inline constexpr Endpoint userAudioCreate{"/api/zirvUserAudioCreate", 20s};
inline constexpr Endpoint userChoreographyCreate{"/api/zirvUserChoreographyCreate", 20s};

} // namespace endpoint
} // namespace zirv
