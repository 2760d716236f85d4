#pragma once
// A real HTTP server on 127.0.0.1 inside the test process, on a free port.
//
// Tests script its answers per method and path and read back every request it
// received (method, path, header fields, body), so that they can assert on
// exactly what went over the wire. Requests are served on the server's own
// threads; everything here may be called from any thread.
//
//     TestHttpServer server;
//     server.setReply("POST", "/api/zirvUserAudioHashcode", ScriptedReply(200, R"({...})"));
//     ... point the client at server.baseUrl() ...
//     ASSERT_TRUE(pumpUntil([&] { return server.requestCount() == 1; }));
//     EXPECT_EQ(server.requests()[0].body, expectedJson);

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zirv::test {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
    std::string method;
    std::string path;   // without the query
    std::string query;  // after '?', empty when none
    // As received, minus the peer-address entries the server library adds.
    HeaderFields headers;
    std::string body;   // empty for a sink path (see ScriptedReply::sink)
    size_t bodySize = 0;

    // The value of the first field of that name (case-insensitive).
    std::optional<std::string> header(std::string_view name) const;
    // The field names, lower-cased and sorted.
    std::vector<std::string> headerNames() const;
};

struct ScriptedReply {
    ScriptedReply(int status = 200, std::string body = {}) : status(status), body(std::move(body)) {}

    ScriptedReply& withHeader(std::string name, std::string value)
    {
        headers.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    ScriptedReply& withDelay(std::chrono::milliseconds wait)
    {
        delay = wait;
        return *this;
    }
    ScriptedReply& dropped()
    {
        drop = true;
        return *this;
    }
    // The connection is reset after the first part of the request body has
    // been read, while the client is still sending (no answer).
    ScriptedReply& cutOffRequest()
    {
        cutRequest = true;
        return *this;
    }
    ScriptedReply& sinking()
    {
        sink = true;
        return *this;
    }

    int status = 200;
    // Sent as given; nothing is added besides Content-Length (and the
    // server's own Keep-Alive/Connection fields).
    HeaderFields headers;
    std::string body;
    // Waited before answering (the request body has been read by then).
    std::chrono::milliseconds delay{0};
    // The status line and header fields go out, announcing the whole body;
    // then half of the body is sent and the connection is closed.
    bool drop = false;
    bool cutRequest = false;
    // The request body is read and counted but not kept (large uploads).
    bool sink = false;
};

class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const;
    // "http://127.0.0.1:<port>"
    std::string baseUrl() const;

    // The answer to every request of that method and path (until replaced).
    void setReply(std::string_view method, std::string_view path, ScriptedReply reply);
    // The answer to the next request of that method and path only; queued
    // answers go before the standing one, first in first out.
    void queueReply(std::string_view method, std::string_view path, ScriptedReply reply);

    // Requests of an unscripted path get 404 with the body "not scripted".

    std::vector<RecordedRequest> requests() const;
    size_t requestCount() const;
    void clearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zirv::test
