#pragma once
// The ZIRV backend: the eleven operations, each a POST of one JSON record
// answered by one complete JSON record, plus the control endpoint for faults.

#include "devserver/ServerState.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace httplib {
class Server;
}

namespace zirv::devserver {

class Backend {
public:
    explicit Backend(ServerState& state);
    void install(httplib::Server& server);

    // Exposed for tests: the answer of one operation to a checked request.
    nlohmann::json answer(const std::string& operation, const nlohmann::json& request);

private:
    using json = nlohmann::json;

    std::optional<int64_t> accountForToken(const json& request); // dbMutex held
    json accountAnswer(int64_t accountId, const std::string& token);
    json userAccountRecord(int64_t accountId, const std::string& token);

    json login(const json& request);
    json createAccount(const json& request);
    json changePassword(const json& request);
    json catalogueRead(const json& request);
    json userRead(const json& request);
    json forceDownload(const json& request);
    json userUpdate(const json& request);
    json hashcode(const json& request, int mediaType);
    json registerFile(const json& request, int mediaType);

    ServerState& m_state;
};

} // namespace zirv::devserver
