#pragma once
// The backend's wire records, each declared once as a table of members and
// types. From a declaration the server derives a complete default record
// (every member present, lists empty) and a strict reader that checks a
// request member by member.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace zirv::devserver {

using json = nlohmann::json;

enum class WireType { string, int16, int32, int64, float32, boolean, uuid, record, list };

struct WireMember {
    std::string_view name;
    WireType type;
    std::string_view record = {}; // element or nested record name for record / list
};

struct WireRecord {
    std::string_view name;
    std::vector<WireMember> members;
};

// The declaration of a record, or nullptr for an unknown name.
const WireRecord* findWireRecord(std::string_view name);

// Every member present with its type's empty value: "" for texts, 0 for
// numbers, false, the zero UUID, nested records filled alike, lists empty.
json defaultRecord(std::string_view name);

// Strict check of a value against a declaration: every member present, not
// null, of the right JSON type and within its width. Members not declared are
// ignored. Empty when it conforms; otherwise a description of the first fault.
std::string checkRecord(std::string_view name, const json& value);

// The canonical 36-character form, either case.
bool isUuidText(std::string_view text);
// Upper-case canonical form of a UUID text that isUuidText accepts.
std::string canonicalUuid(std::string_view text);

inline constexpr std::string_view zeroUuid = "00000000-0000-0000-0000-000000000000";
inline constexpr std::string_view noUserUuid = "5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95";

} // namespace zirv::devserver
