#include "devserver/Backend.h"

#include "devserver/WireRecords.h"

#include <BuildValues.h>
#include <httplib.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_map>

namespace zirv::devserver {

namespace {

using json = nlohmann::json;

constexpr int kSuccess = 1;
constexpr int kFailure = 2; // any failing code other than the named ones
constexpr int kAlreadyOwned = 3;
constexpr int kNotOwned = 4;
constexpr int kAuthenticationFailed = 21;
constexpr int kAccountExists = 26;

struct Operation {
    std::string_view name;
    std::string_view input;
    std::string_view output;
};

constexpr Operation kOperations[] = {
    {"zirvAccountLogin", "accountLoginInput", "accountLoginOutput"},
    {"zirvAccountCreate", "accountCreateInput", "accountCreateOutput"},
    {"zirvAccountChangePassword", "accountChangePasswordInput", "commonStatus"},
    {"zirvDefinedStructureChangesRead", "zirvChangesInput", "zirvChangesOutput"},
    {"zirvUserStructureChangesRead", "userStructureChangesInput", "userStructureDownloadChangesOutput"},
    {"zirvUserStructureForceDownload", "userStructureForceDownloadInput", "userStructureDownloadChangesOutput"},
    {"zirvUserStructureChangesUpdate", "userStructureUpdatesInput", "userStructureUploadChangesOutput"},
    {"zirvUserAudioHashcode", "userStructureAudioHashcodeInput", "userStructureAudioHashcodeOutput"},
    {"zirvUserChoreographyHashcode", "userStructureChoreographyHashcodeInput", "userStructureChoreographyHashcodeOutput"},
    {"zirvUserAudioCreate", "userStructureAudioCreateInput", "userStructureAudioCreateOutput"},
    {"zirvUserChoreographyCreate", "userStructureChoreographyCreateInput", "userStructureChoreographyCreateOutput"},
};

const Operation* findOperation(std::string_view name)
{
    for (const auto& op : kOperations)
        if (op.name == name)
            return &op;
    return nullptr;
}

struct UserTable {
    int id;
    std::string_view list;
    std::string_view record;
};

// User tables by number; 51 (the account) is built from the accounts table.
constexpr UserTable kUserTables[] = {
    {51, "listUser_Account", "userAccount"},
    {54, "listUser_Configuration", "userConfiguration"},
    {52, "listUser_PlaylistDefinition", "userPlaylistDefinition"},
    {53, "listUser_PlaylistContent", "userPlaylistContent"},
    {55, "listUser_ClassHistory", "userClassHistory"},
    {56, "listUser_ClassHistoryContents", "userClassHistoryContents"},
    {59, "listUser_PurchaseHistory", "userPurchaseHistory"},
    {41, "listOps_UserAudio", "opsUserAudio"},
    {43, "listOps_UserChoreography", "opsUserChoreography"},
    {57, "listUser_ReportPlaylistCounts", "userReportPlaylistCounts"},
    {58, "listUser_ReportPlaylistTracks", "userReportPlaylistTracks"},
};

// Tables the client uploads and may ask for again, in upload order.
constexpr int kTwoWayTables[] = {54, 52, 53, 55, 56, 59};

// Order in which a read fills its page. Clients apply the lists in answer
// order, where class-history contents come before the owned tracks they point
// at; owned media are therefore paged before the contents, and contents wait
// for the next page when the page already carries owned tracks.
constexpr int kReadFillOrder[] = {54, 52, 53, 55, 59, 41, 43, 56, 57, 58};

const UserTable* userTable(int id)
{
    for (const auto& t : kUserTables)
        if (t.id == id)
            return &t;
    return nullptr;
}

bool isTwoWay(int id)
{
    return std::find(std::begin(kTwoWayTables), std::end(kTwoWayTables), id) != std::end(kTwoWayTables);
}

json statusRecord(int code, int returned = 0, bool more = false, int errorCode = 0,
                  const std::string& errorMessage = {})
{
    return {{"statusCode", code},
            {"dataRecordsReturned", returned},
            {"moreDataAvailable", more},
            {"databaseErrors", {{"errorCode", errorCode}, {"errorMessage", errorMessage}}}};
}

// The status of a request whose access token names no logged-in account.
json unknownTokenStatus()
{
    return statusRecord(kAuthenticationFailed, 0, false, 0, "the access token is not valid");
}

// A complete answer of the operation carrying only a status.
json statusAnswer(const Operation& op, json status)
{
    if (op.output == "commonStatus")
        return status;
    json answer = defaultRecord(op.output);
    if (op.output == "accountLoginOutput" || op.output == "accountCreateOutput")
        answer["statusCode"] = status["statusCode"];
    answer["status"] = std::move(status);
    return answer;
}

std::string tokenOf(const json& request)
{
    return canonicalUuid(request["currentSecurity"]["accessToken"].get<std::string>());
}

struct PasswordHash {
    std::string salt;
    std::string hash;
    int iterations = 0;
};

std::string pbkdf2(const std::string& password, const std::string& salt, int iterations)
{
    std::string out(32, '\0');
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                      iterations, EVP_sha256(), static_cast<int>(out.size()),
                      reinterpret_cast<unsigned char*>(out.data()));
    return out;
}

PasswordHash hashPassword(const std::string& password, int iterations)
{
    PasswordHash h;
    h.salt.resize(16);
    RAND_bytes(reinterpret_cast<unsigned char*>(h.salt.data()), static_cast<int>(h.salt.size()));
    h.iterations = iterations;
    h.hash = pbkdf2(password, h.salt, iterations);
    return h;
}

bool verifyPassword(const std::string& password, const PasswordHash& stored)
{
    const auto candidate = pbkdf2(password, stored.salt, stored.iterations);
    return candidate.size() == stored.hash.size() &&
           CRYPTO_memcmp(candidate.data(), stored.hash.data(), candidate.size()) == 0;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A copy holding exactly the declared members, UUIDs in upper case.
json canonicalCopy(std::string_view recordName, const json& record)
{
    json copy = json::object();
    const auto* decl = findWireRecord(recordName);
    for (const auto& m : decl->members) {
        const std::string key(m.name);
        copy[key] = m.type == WireType::uuid ? json(canonicalUuid(record[key].get<std::string>())) : record[key];
    }
    return copy;
}

std::unordered_map<int, int64_t> markersOf(const json& changes)
{
    std::unordered_map<int, int64_t> markers;
    for (const auto& item : changes)
        markers[item["syncIdentifier"].get<int>()] = item["updateRecord"].get<int64_t>();
    return markers;
}

const char* bucketOf(int mediaType)
{
    return mediaType == 2 ? zirv::build::bucketChoreography : zirv::build::bucketAudio;
}

} // namespace

Backend::Backend(ServerState& state)
    : m_state(state)
{
}

void Backend::install(httplib::Server& server)
{
    for (const auto& op : kOperations) {
        server.Post("/api/" + std::string(op.name), [this, &op](const httplib::Request&, httplib::Response& res,
                                                                  const httplib::ContentReader& reader) {
            auto& faults = m_state.faults;
            const std::string name(op.name);
            faults.applyLatency(name);

            std::string body;
            bool tooLarge = false;
            const size_t limit = m_state.options.maxBodyBytes;
            const bool complete = reader([&](const char* data, size_t length) {
                if (body.size() + length > limit) {
                    tooLarge = true;
                    return false;
                }
                body.append(data, length);
                return true;
            });
            if (tooLarge) {
                writeError(res, 400, "bad_request",
                           "the request body is larger than " + std::to_string(limit) + " bytes");
                return;
            }
            if (!complete) {
                writeError(res, 400, "bad_request", "the request body could not be read");
                return;
            }
            json request = json::parse(body, nullptr, false);
            if (request.is_discarded() || !request.is_object()) {
                writeError(res, 400, "bad_request", "the request body is not a JSON object");
                return;
            }
            if (auto fault = checkRecord(op.input, request); !fault.empty()) {
                writeError(res, 400, "bad_request", std::string(op.input) + " " + fault);
                return;
            }

            if (faults.take(FaultKind::stall, name))
                faults.stall(name);
            int httpStatus = 200;
            json result;
            if (faults.take(FaultKind::auth21, name)) {
                result = statusAnswer(op, statusRecord(kAuthenticationFailed, 0, false, 0,
                                                       "injected authentication failure"));
            } else if (faults.rollFailure(name)) {
                httpStatus = 500;
                result = statusAnswer(op, statusRecord(kFailure, 0, false, 500, "injected failure"));
            } else {
                result = answer(name, request);
            }
            if (faults.take(FaultKind::http500, name))
                httpStatus = 500;
            if (faults.take(FaultKind::nonJson, name)) {
                res.status = httpStatus;
                res.set_content("<html><body><h1>503 Service Temporarily Unavailable</h1></body></html>",
                                "text/html");
                return;
            }
            writeJson(res, httpStatus, result);
        });
    }

    server.Get("/control/faults", [this](const httplib::Request&, httplib::Response& res) {
        writeJson(res, 200, m_state.faults.describe());
    });
    server.Post("/control/faults", [this](const httplib::Request& req, httplib::Response& res) {
        json settings = json::parse(req.body, nullptr, false);
        if (settings.is_discarded()) {
            writeError(res, 400, "bad_request", "the settings are not JSON");
            return;
        }
        if (auto fault = m_state.faults.apply(settings); !fault.empty()) {
            writeError(res, 400, "bad_request", fault);
            return;
        }
        writeJson(res, 200, m_state.faults.describe());
    });
    server.Get("/control/log", [this](const httplib::Request&, httplib::Response& res) {
        writeJson(res, 200, m_state.faults.log());
    });
    server.Get("/control/status", [this](const httplib::Request&, httplib::Response& res) {
        writeJson(res, 200,
                  {{"backendUrl", m_state.backendUrl},
                   {"storageUrl", m_state.storageUrl},
                   {"catalogueSize", m_state.catalogue->size()},
                   {"pageSize", m_state.options.pageSize},
                   {"lastCatalogueCounter", m_state.catalogue->lastCounter()}});
    });
    // Gives records of one catalogue table new change counters, as if edited.
    server.Post("/control/catalogue/touch", [this](const httplib::Request& req, httplib::Response& res) {
        json body = json::parse(req.body, nullptr, false);
        if (body.is_discarded() || !body.is_object() || !body.contains("syncIdentifier") ||
            !body["syncIdentifier"].is_number_integer() || !body.contains("count") ||
            !body["count"].is_number_integer()) {
            writeError(res, 400, "bad_request", "expected {\"syncIdentifier\":N,\"count\":N}");
            return;
        }
        std::lock_guard lock(m_state.dbMutex);
        const int changed = m_state.catalogue->touch(body["syncIdentifier"].get<int>(), body["count"].get<int>(),
                                                     [this] { return m_state.db.nextSequence(); });
        writeJson(res, 200, {{"changed", changed}});
    });
}

json Backend::answer(const std::string& operation, const json& request)
{
    const auto* op = findOperation(operation);
    if (!op)
        return json::object();
    json result;
    if (operation == "zirvAccountLogin")
        result = login(request);
    else if (operation == "zirvAccountCreate")
        result = createAccount(request);
    else if (operation == "zirvAccountChangePassword")
        result = changePassword(request);
    else if (operation == "zirvDefinedStructureChangesRead")
        result = catalogueRead(request);
    else if (operation == "zirvUserStructureChangesRead")
        result = userRead(request);
    else if (operation == "zirvUserStructureForceDownload")
        result = forceDownload(request);
    else if (operation == "zirvUserStructureChangesUpdate")
        result = userUpdate(request);
    else if (operation == "zirvUserAudioHashcode")
        result = hashcode(request, 0);
    else if (operation == "zirvUserChoreographyHashcode")
        result = hashcode(request, 2);
    else if (operation == "zirvUserAudioCreate")
        result = registerFile(request, 0);
    else if (operation == "zirvUserChoreographyCreate")
        result = registerFile(request, 2);
    if (auto fault = checkRecord(op->output, result); !fault.empty())
        std::fprintf(stderr, "internal: incomplete %s answer: %s\n", std::string(op->output).c_str(), fault.c_str());
    return result;
}

std::optional<int64_t> Backend::accountForToken(const json& request)
{
    auto query = m_state.db.prepare("SELECT accountId FROM tokens WHERE token = ?1");
    query.bind(1, tokenOf(request));
    if (!query.step())
        return std::nullopt;
    return query.integer(0);
}

json Backend::accountAnswer(int64_t accountId, const std::string& token)
{
    const auto* op = findOperation("zirvAccountLogin");
    json answer = defaultRecord(op->output);
    auto query = m_state.db.prepare(
        "SELECT email, whenCreated, subscriptionExpiry, totalDataStored, updateRecord FROM accounts WHERE id = ?1");
    query.bind(1, accountId);
    if (!query.step())
        return statusAnswer(*op, statusRecord(kFailure, 0, false, 404, "the account no longer exists"));
    const std::string email = query.text(0);
    const std::string name = email.substr(0, email.find('@'));
    answer["status"] = statusRecord(kSuccess, 1);
    answer["security"]["accessToken"] = token;
    answer["email"] = email;
    answer["indicatorFlag"] = 0;
    answer["userName"] = name;
    answer["userNamePublic"] = name;
    answer["userMobile"] = "";
    answer["subscriptionExpiry"] = query.text(2);
    answer["totalDataStored"] = query.real(3);
    answer["totalPaid"] = 0.0;
    answer["statusCode"] = kSuccess;
    answer["whenCreated"] = query.text(1);
    answer["updateRecord"] = query.integer(4);
    return answer;
}

json Backend::userAccountRecord(int64_t accountId, const std::string& token)
{
    const json a = accountAnswer(accountId, token);
    json r = defaultRecord("userAccount");
    r["userEmail"] = a["email"];
    r["indicatorFlag"] = a["indicatorFlag"];
    r["userName"] = a["userName"];
    r["userNamePublic"] = a["userNamePublic"];
    r["userMobile"] = a["userMobile"];
    r["accessToken"] = token;
    r["subscriptionExpiry"] = a["subscriptionExpiry"];
    r["totalDataStored"] = a["totalDataStored"];
    r["totalPaid"] = a["totalPaid"];
    r["statusCode"] = kSuccess;
    r["whenCreated"] = a["whenCreated"];
    r["updateRecord"] = a["updateRecord"];
    return r;
}

json Backend::login(const json& request)
{
    const auto& op = *findOperation("zirvAccountLogin");
    if (request["securityToken"].get<std::string>() != m_state.options.applicationSecret)
        return statusAnswer(op, statusRecord(kAuthenticationFailed, 0, false, 0, "the application is not recognised"));
    const auto email = request["securityEmail"].get<std::string>();
    const auto password = request["securityPassword"].get<std::string>();

    PasswordHash stored;
    int64_t accountId = 0;
    {
        std::lock_guard lock(m_state.dbMutex);
        auto query = m_state.db.prepare("SELECT id, salt, passwordHash, iterations FROM accounts WHERE email = ?1");
        query.bind(1, email);
        if (!query.step())
            return statusAnswer(op, statusRecord(kAuthenticationFailed, 0, false, 0, "e-mail or password not accepted"));
        accountId = query.integer(0);
        stored = {query.text(1), query.text(2), static_cast<int>(query.integer(3))};
    }
    // The slow hash runs outside the database lock.
    if (!verifyPassword(password, stored))
        return statusAnswer(op, statusRecord(kAuthenticationFailed, 0, false, 0, "e-mail or password not accepted"));

    std::lock_guard lock(m_state.dbMutex);
    const std::string token = randomUuid();
    m_state.db.prepare("INSERT INTO tokens (token, accountId) VALUES (?1, ?2)").bind(1, token).bind(2, accountId).run();
    return accountAnswer(accountId, token);
}

json Backend::createAccount(const json& request)
{
    const auto& op = *findOperation("zirvAccountCreate");
    if (request["securityToken"].get<std::string>() != m_state.options.applicationSecret)
        return statusAnswer(op, statusRecord(kAuthenticationFailed, 0, false, 0, "the application is not recognised"));
    const auto email = request["securityEmail"].get<std::string>();
    const auto password = request["securityPassword"].get<std::string>();
    const auto at = email.find('@');
    if (email.size() > 254 || at == std::string::npos || at == 0 || at + 1 >= email.size())
        return statusAnswer(op, statusRecord(kFailure, 0, false, 400, "the e-mail address is not valid"));
    if (password.empty())
        return statusAnswer(op, statusRecord(kFailure, 0, false, 400, "the password must not be empty"));

    {
        std::lock_guard lock(m_state.dbMutex);
        auto exists = m_state.db.prepare("SELECT 1 FROM accounts WHERE email = ?1");
        exists.bind(1, email);
        if (exists.step())
            return statusAnswer(op, statusRecord(kAccountExists, 0, false, 0, "an account with this e-mail address exists"));
    }
    const auto hash = hashPassword(password, m_state.options.pbkdf2Iterations);

    std::lock_guard lock(m_state.dbMutex);
    Transaction transaction(m_state.db);
    auto insert = m_state.db.prepare(
        "INSERT INTO accounts (email, salt, passwordHash, iterations, regionCode, languageCode, whenCreated, "
        "subscriptionExpiry, totalDataStored, updateRecord) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, 0, ?9)");
    insert.bind(1, email)
        .bindBlob(2, hash.salt.data(), hash.salt.size())
        .bindBlob(3, hash.hash.data(), hash.hash.size())
        .bind(4, static_cast<int64_t>(hash.iterations))
        .bind(5, request["userRegionCode"].get<std::string>())
        .bind(6, request["userLanguageCode"].get<std::string>())
        .bind(7, utcNowText())
        .bind(8, utcNowText(365LL * 24 * 3600))
        .bind(9, m_state.db.nextSequence());
    // A concurrent creation of the same address loses on the unique index.
    if (!insert.run())
        return statusAnswer(op, statusRecord(kAccountExists, 0, false, 0, "an account with this e-mail address exists"));
    const int64_t accountId = m_state.db.lastInsertId();
    const std::string token = randomUuid();
    m_state.db.prepare("INSERT INTO tokens (token, accountId) VALUES (?1, ?2)").bind(1, token).bind(2, accountId).run();
    transaction.commit();
    return accountAnswer(accountId, token);
}

json Backend::changePassword(const json& request)
{
    const auto refused = [](const std::string& why) { return statusRecord(kAuthenticationFailed, 0, false, 0, why); };
    int64_t accountId = 0;
    PasswordHash stored;
    {
        std::lock_guard lock(m_state.dbMutex);
        auto account = accountForToken(request);
        if (!account)
            return unknownTokenStatus();
        accountId = *account;
        auto query = m_state.db.prepare("SELECT email, salt, passwordHash, iterations FROM accounts WHERE id = ?1");
        query.bind(1, accountId);
        if (!query.step())
            return refused("the account no longer exists");
        if (!equalsIgnoringCase(query.text(0), request["securityEmail"].get<std::string>()))
            return refused("the e-mail address does not belong to the access token");
        stored = {query.text(1), query.text(2), static_cast<int>(query.integer(3))};
    }
    if (!verifyPassword(request["securityCurrentPassword"].get<std::string>(), stored))
        return refused("the current password is not correct");
    const auto newPassword = request["securityNewPassword"].get<std::string>();
    if (newPassword.empty())
        return statusRecord(kFailure, 0, false, 400, "the new password must not be empty");
    const auto hash = hashPassword(newPassword, m_state.options.pbkdf2Iterations);
    std::lock_guard lock(m_state.dbMutex);
    m_state.db.prepare("UPDATE accounts SET salt = ?1, passwordHash = ?2, iterations = ?3 WHERE id = ?4")
        .bindBlob(1, hash.salt.data(), hash.salt.size())
        .bindBlob(2, hash.hash.data(), hash.hash.size())
        .bind(3, static_cast<int64_t>(hash.iterations))
        .bind(4, accountId)
        .run();
    return statusRecord(kSuccess);
}

json Backend::catalogueRead(const json& request)
{
    const auto& op = *findOperation("zirvDefinedStructureChangesRead");
    {
        std::lock_guard lock(m_state.dbMutex);
        if (!accountForToken(request))
            return statusAnswer(op, unknownTokenStatus());
    }
    json answer = defaultRecord(op.output);
    const auto page = m_state.catalogue->fill(answer, markersOf(request["currentChanges"]), m_state.options.pageSize);
    answer["status"] = statusRecord(kSuccess, page.returned, page.moreDataAvailable);
    return answer;
}

json Backend::userRead(const json& request)
{
    const auto& op = *findOperation("zirvUserStructureChangesRead");
    std::lock_guard lock(m_state.dbMutex);
    auto account = accountForToken(request);
    if (!account)
        return statusAnswer(op, unknownTokenStatus());
    const auto markers = markersOf(request["currentChanges"]);
    const auto markerOf = [&](int table) {
        auto it = markers.find(table);
        return it == markers.end() ? int64_t(0) : it->second;
    };

    json answer = defaultRecord(op.output);
    const int pageSize = m_state.options.pageSize;
    int returned = 0;
    bool more = false;

    const std::string token = tokenOf(request);
    json accountRecord = userAccountRecord(*account, token);
    if (accountRecord["updateRecord"].get<int64_t>() > markerOf(51)) {
        answer["listUser_Account"].push_back(std::move(accountRecord));
        ++returned;
    }

    bool carriesOwnedAudio = false;
    for (int table : kReadFillOrder) {
        const auto* info = userTable(table);
        const int room = pageSize - returned;
        const bool deferred = table == 56 && carriesOwnedAudio;
        auto query = m_state.db.prepare(
            "SELECT body FROM userRecords WHERE accountId = ?1 AND tableId = ?2 AND updateRecord > ?3 "
            "ORDER BY updateRecord LIMIT ?4");
        query.bind(1, *account).bind(2, static_cast<int64_t>(table)).bind(3, markerOf(table));
        query.bind(4, static_cast<int64_t>(deferred ? 1 : room + 1));
        int taken = 0;
        while (query.step()) {
            if (deferred || taken >= room) {
                more = true;
                break;
            }
            answer[std::string(info->list)].push_back(json::parse(query.text(0), nullptr, false));
            ++taken;
        }
        returned += taken;
        if (table == 41 && taken > 0)
            carriesOwnedAudio = true;
        if (more)
            break;
    }
    answer["status"] = statusRecord(kSuccess, returned, more);
    return answer;
}

json Backend::forceDownload(const json& request)
{
    const auto& op = *findOperation("zirvUserStructureForceDownload");
    std::lock_guard lock(m_state.dbMutex);
    auto account = accountForToken(request);
    if (!account)
        return statusAnswer(op, unknownTokenStatus());
    json answer = defaultRecord(op.output);
    int returned = 0;
    bool more = false;
    for (const auto& item : request["currentChanges"]) {
        const int table = item["tableIdentifier"].get<int>();
        if (!isTwoWay(table))
            continue;
        auto query = m_state.db.prepare(
            "SELECT body FROM userRecords WHERE accountId = ?1 AND tableId = ?2 AND entityKey = ?3");
        query.bind(1, *account).bind(2, static_cast<int64_t>(table));
        query.bind(3, canonicalUuid(item["entityKey"].get<std::string>()));
        if (!query.step())
            continue;
        if (returned >= m_state.options.pageSize) {
            more = true;
            break;
        }
        answer[std::string(userTable(table)->list)].push_back(json::parse(query.text(0), nullptr, false));
        ++returned;
    }
    answer["status"] = statusRecord(kSuccess, returned, more);
    return answer;
}

json Backend::userUpdate(const json& request)
{
    const auto& op = *findOperation("zirvUserStructureChangesUpdate");
    std::lock_guard lock(m_state.dbMutex);
    auto account = accountForToken(request);
    if (!account)
        return statusAnswer(op, unknownTokenStatus());
    json answer = defaultRecord(op.output);
    Transaction transaction(m_state.db);
    for (int table : kTwoWayTables) {
        const auto* info = userTable(table);
        for (const auto& record : request[std::string(info->list)]) {
            const std::string key = canonicalUuid(record["entityKey"].get<std::string>());
            auto current = m_state.db.prepare(
                "SELECT updateRecord FROM userRecords WHERE accountId = ?1 AND tableId = ?2 AND entityKey = ?3");
            current.bind(1, *account).bind(2, static_cast<int64_t>(table)).bind(3, key);
            // A record edited from an older copy than the server's loses.
            if (current.step() && record["updateRecord"].get<int64_t>() < current.integer(0)) {
                answer["listFailure"].push_back({{"tableIdentifier", table}, {"entityKey", key}});
                continue;
            }
            const int64_t counter = m_state.db.nextSequence();
            json stored = canonicalCopy(info->record, record);
            stored["updateRecord"] = counter;
            m_state.db
                .prepare("INSERT OR REPLACE INTO userRecords (accountId, tableId, entityKey, updateRecord, body) "
                         "VALUES (?1, ?2, ?3, ?4, ?5)")
                .bind(1, *account)
                .bind(2, static_cast<int64_t>(table))
                .bind(3, key)
                .bind(4, counter)
                .bind(5, stored.dump(-1, ' ', false, json::error_handler_t::replace))
                .run();
            answer["listSuccess"].push_back({{"tableIdentifier", table}, {"entityKey", key}, {"updateRecord", counter}});
        }
    }
    transaction.commit();
    const auto handled = answer["listSuccess"].size() + answer["listFailure"].size();
    answer["status"] = statusRecord(kSuccess, static_cast<int>(handled));
    return answer;
}

json Backend::hashcode(const json& request, int mediaType)
{
    std::lock_guard lock(m_state.dbMutex);
    json answer = defaultRecord("userStructureStatusOutput");
    auto account = accountForToken(request);
    if (!account) {
        answer["status"] = unknownTokenStatus();
        return answer;
    }
    auto query = m_state.db.prepare(
        "SELECT 1 FROM ownedFiles WHERE accountId = ?1 AND mediaType = ?2 AND hashCode = ?3");
    query.bind(1, *account).bind(2, static_cast<int64_t>(mediaType)).bind(3, request["fileHashCode"].get<std::string>());
    answer["status"] = statusRecord(query.step() ? kAlreadyOwned : kNotOwned);
    return answer;
}

json Backend::registerFile(const json& request, int mediaType)
{
    std::lock_guard lock(m_state.dbMutex);
    json answer = defaultRecord("userStructureStatusOutput");
    auto account = accountForToken(request);
    if (!account) {
        answer["status"] = unknownTokenStatus();
        return answer;
    }
    const auto fileName = request["fileGuidName"].get<std::string>();
    const auto hashCode = request["fileHashCode"].get<std::string>();
    auto stored = m_state.db.prepare(
        "SELECT s.contentLength FROM storedFiles s JOIN buckets b ON s.bucketId = b.bucketId "
        "WHERE b.bucketName = ?1 AND s.fileName = ?2");
    stored.bind(1, std::string_view(bucketOf(mediaType))).bind(2, fileName);
    if (!stored.step()) {
        answer["status"] = statusRecord(kFailure, 0, false, 404,
                                        "the file " + fileName + " is not in the storage bucket " + bucketOf(mediaType));
        return answer;
    }
    // The size the storage holds, not the size the client claims.
    const int64_t size = stored.integer(0);

    Transaction transaction(m_state.db);
    auto owned = m_state.db.prepare("SELECT 1 FROM ownedFiles WHERE accountId = ?1 AND mediaType = ?2 AND hashCode = ?3");
    owned.bind(1, *account).bind(2, static_cast<int64_t>(mediaType)).bind(3, hashCode);
    if (owned.step()) {
        // Registering the same content twice changes nothing.
        answer["status"] = statusRecord(kAlreadyOwned);
        return answer;
    }
    m_state.db
        .prepare("INSERT INTO ownedFiles (accountId, mediaType, hashCode, fileGuidName, fileSize) VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(1, *account)
        .bind(2, static_cast<int64_t>(mediaType))
        .bind(3, hashCode)
        .bind(4, fileName)
        .bind(5, size)
        .run();

    const int64_t entityKey = m_state.db.nextSequence();
    const int64_t counter = m_state.db.nextSequence();
    const auto title = request["metadataTitle"].get<std::string>();
    json row;
    int table = 0;
    if (mediaType == 2) {
        table = 43;
        row = defaultRecord("opsUserChoreography");
        row["zirv_ChoreographyDefinitionEntityKey"] = m_state.catalogue->choreographyDefinitionFor(title, hashCode);
        row["entityType"] = 2;
        row["mediaPageStart"] = 1;
        row["mediaPageEnd"] = 1;
        row["entityGroupTitle"] = request["metadataAuthor"];
        row["entityDescription"] = title;
    } else {
        table = 41;
        row = defaultRecord("opsUserAudio");
        const int64_t definition = m_state.catalogue->audioDefinitionFor(title, hashCode);
        row["zirv_AudioDefinitionEntityKey"] = definition;
        const json track = m_state.catalogue->record(7, definition);
        row["allowedLocations"] = track.is_object() ? track["allowedLocations"].get<int>() : 1;
        row["beatsPerMinute"] = track.is_object() ? track["beatsPerMinute"].get<int>() : 0;
        row["mediaTrackTime"] = track.is_object() ? track["runningTime"].get<double>() : 0.0;
        row["entityGroupTitle"] = request["metadataAlbum"];
        row["entityDescription1"] = title;
        row["entityDescription2"] = request["metadataArtist"];
    }
    row["entityKey"] = entityKey;
    row["fileGuidName"] = fileName;
    row["fileSize"] = size;
    row["statusCode"] = 1;
    row["updateRecord"] = counter;
    m_state.db
        .prepare("INSERT INTO userRecords (accountId, tableId, entityKey, updateRecord, body) VALUES (?1, ?2, ?3, ?4, ?5)")
        .bind(1, *account)
        .bind(2, static_cast<int64_t>(table))
        .bind(3, std::to_string(entityKey))
        .bind(4, counter)
        .bind(5, row.dump(-1, ' ', false, json::error_handler_t::replace))
        .run();
    // totalDataStored is kept in megabytes of 1,000,000 bytes.
    m_state.db.prepare("UPDATE accounts SET totalDataStored = totalDataStored + ?1, updateRecord = ?2 WHERE id = ?3")
        .bind(1, static_cast<double>(size) / 1e6)
        .bind(2, m_state.db.nextSequence())
        .bind(3, *account)
        .run();
    transaction.commit();
    answer["status"] = statusRecord(kAlreadyOwned);
    return answer;
}

} // namespace zirv::devserver
