#include "devserver/ServerState.h"

#include <httplib.h>
#include <openssl/rand.h>

#include <chrono>
#include <ctime>

namespace zirv::devserver {

std::string randomHex(size_t bytes)
{
    std::string raw(bytes, '\0');
    RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes));
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes * 2);
    for (unsigned char c : raw) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string randomUuid()
{
    unsigned char b[16];
    RAND_bytes(b, sizeof b);
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80); // RFC 4122 variant
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        out.push_back(digits[b[i] >> 4]);
        out.push_back(digits[b[i] & 15]);
    }
    return out;
}

std::string utcNowText(int64_t addSeconds)
{
    const std::time_t t = std::time(nullptr) + addSeconds;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

int64_t nowMillis()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void writeJson(httplib::Response& res, int httpStatus, const nlohmann::json& body)
{
    res.status = httpStatus;
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void writeError(httplib::Response& res, int httpStatus, std::string_view code, std::string_view message)
{
    writeJson(res, httpStatus, {{"status", httpStatus}, {"code", code}, {"message", message}});
}

} // namespace zirv::devserver
