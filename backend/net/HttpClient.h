#pragma once
// The program's one HTTP client: every request of the program goes through it.
//
// Requests run on one network thread driving a libcurl multi handle; the
// caller never blocks. Each request reports exactly once (an answer or a
// transport failure), plus upload progress while its body is sent, on the
// thread the caller picks (the main thread unless told otherwise). The handle
// returned by start() owns the request: releasing it aborts the request and
// nothing is reported afterwards.
//
// The request carries exactly the header fields the caller lists; libcurl's
// own defaults ("Content-Type" for a POST body, "Expect: 100-continue",
// "Accept: */*") are suppressed unless the caller sets them. Only the fields
// HTTP itself needs are added: "Host" and "Content-Length" (or
// "Transfer-Encoding" for a body of unknown length).
//
// TLS peers are always verified. The usual proxy environment variables
// (http_proxy, https_proxy, no_proxy, ...) are honoured.

#include "backend/net/Cancelable.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zirv::net {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "POST";
    std::string url;
    HeaderList headers;
    // The body: `body` from memory, or streamed from `bodyFile` when set.
    std::string body;
    std::optional<std::filesystem::path> bodyFile;
    // The request fails when no byte moves in either direction for this long
    // (connecting included).
    std::chrono::seconds inactivityTimeout{60};
};

struct HttpResponse {
    long statusCode = 0;
    HeaderList headers;
    std::string body;

    // The first header field of that name (case-insensitive).
    std::optional<std::string> header(std::string_view name) const;
};

// Either a response (whatever its HTTP status) or a transport failure with a
// description text; never both.
struct HttpResult {
    std::optional<HttpResponse> response;
    std::optional<std::string> failure;
};

enum class Delivery {
    mainThread,    // callbacks are queued onto the main thread
    networkThread, // callbacks run on the network thread; keep them short
};

struct HttpCallbacks {
    // Bytes of the body sent so far and the body's total size. Progress
    // reports are coalesced: a report is only queued once the previous one ran.
    std::function<void(int64_t sent, int64_t total)> onProgress;
    std::function<void(HttpResult)> onFinished;
    Delivery delivery = Delivery::mainThread;
};

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // The process-wide client, made on first use and stopped when the
    // application object goes away.
    static HttpClient& shared();

    // Starts the request. A file body that cannot be opened fails the request
    // (reported like any transport failure).
    [[nodiscard]] Cancelable start(HttpRequest request, HttpCallbacks callbacks);

    // Aborts every request without reporting and ends the network thread.
    // Later start() calls fail at once. Called by the destructor.
    void stop();

    // Size of the upload buffer used for request bodies.
    static constexpr long uploadBufferSize = 2 * 1024 * 1024;

private:
    struct Impl;
    std::shared_ptr<Impl> m_impl;
};

} // namespace zirv::net
