#pragma once
// What the backend and the storage emulator share: the settings, the database
// (one connection behind one mutex), the catalogue, the faults and the
// folders of the stored files.

#include "devserver/Catalogue.h"
#include "devserver/Database.h"
#include "devserver/Faults.h"
#include "devserver/Options.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
struct Request;
struct Response;
}

namespace zirv::devserver {

struct ServerState {
    Options options;
    Database db;
    std::mutex dbMutex;
    std::unique_ptr<Catalogue> catalogue;
    Faults faults;
    std::filesystem::path filesDir; // stored files, one per file id
    std::filesystem::path partsDir; // uploads in progress
    std::string backendUrl;         // as the client reaches it
    std::string storageUrl;
};

// Small shared helpers.
std::string randomHex(size_t bytes);
std::string randomUuid();
std::string utcNowText(int64_t addSeconds = 0); // 2026-01-31T09:15:00Z
int64_t nowMillis();
void writeJson(httplib::Response& res, int httpStatus, const nlohmann::json& body);
// B2's error shape {"status","code","message"}; also used for refused backend bodies.
void writeError(httplib::Response& res, int httpStatus, std::string_view code, std::string_view message);

} // namespace zirv::devserver
