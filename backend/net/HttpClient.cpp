#include "HttpClient.h"

#include "app/core/MainThread.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zirv::net {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                  return std::tolower(static_cast<unsigned char>(x))
                         == std::tolower(static_cast<unsigned char>(y));
              });
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty()
           && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

void ensureCurlInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const
{
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name))
            return value;
    return std::nullopt;
}

// One request in flight. Created by start(), owned by the network thread from
// then on; the caller's handle reaches it only through its CancelState.
struct Transfer {
    HttpRequest request;
    HttpCallbacks callbacks;
    std::shared_ptr<CancelState> state;

    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    int fileDescriptor = -1;
    int64_t bodySize = 0;
    HttpResponse response;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    bool added = false;

    // Inactivity, network thread only: the bytes moved either way and when
    // that count last changed. libcurl's own low-speed check averages over
    // several seconds, so a stall right after a large upload would go unseen
    // for that long; this notices it on the first idle tick after the
    // time-out.
    int64_t moved = 0;
    std::chrono::steady_clock::time_point lastMoved;
    std::chrono::seconds inactivityTimeout{0};
    bool timedOut = false;

    // Shared with queued progress reports, which may outlive the transfer.
    struct Progress {
        std::function<void(int64_t, int64_t)> report;
        int64_t total = 0;
        std::atomic<int64_t> sent{0};
        std::atomic<bool> queued{false};
    };
    std::shared_ptr<Progress> progress;

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        if (headerList)
            curl_slist_free_all(headerList);
        if (fileDescriptor >= 0)
            ::close(fileDescriptor);
    }
};

struct HttpClient::Impl : std::enable_shared_from_this<HttpClient::Impl> {
    std::mutex mutex;
    std::deque<std::shared_ptr<Transfer>> toAdd;
    std::vector<std::weak_ptr<Transfer>> toAbort;
    bool stopping = false;

    CURLM* multi = nullptr;
    std::thread thread;
    // Network thread only.
    std::map<CURL*, std::shared_ptr<Transfer>> active;

    void run();
    void begin(const std::shared_ptr<Transfer>& transfer);
    void finish(const std::shared_ptr<Transfer>& transfer, CURLcode code);
    void report(const std::shared_ptr<Transfer>& transfer, HttpResult result);
    void remove(const std::shared_ptr<Transfer>& transfer);

    static size_t onHeader(char* data, size_t size, size_t count, void* user);
    static size_t onBody(char* data, size_t size, size_t count, void* user);
    static size_t onRead(char* buffer, size_t size, size_t count, void* user);
    static int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow);
};

HttpClient::HttpClient() : m_impl(std::make_shared<Impl>())
{
    ensureCurlInitialised();
    m_impl->multi = curl_multi_init();
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->run(); });
}

HttpClient::~HttpClient()
{
    stop();
    curl_multi_cleanup(m_impl->multi);
}

HttpClient& HttpClient::shared()
{
    // Made once, kept for the life of the process; its thread is ended while
    // the application object goes away, so that no report chases a dead
    // event loop.
    static HttpClient* client = [] {
        auto* made = new HttpClient;
        qAddPostRoutine([] { HttpClient::shared().stop(); });
        return made;
    }();
    return *client;
}

void HttpClient::stop()
{
    {
        std::lock_guard lock(m_impl->mutex);
        if (m_impl->stopping)
            return;
        m_impl->stopping = true;
    }
    curl_multi_wakeup(m_impl->multi);
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

Cancelable HttpClient::start(HttpRequest request, HttpCallbacks callbacks)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->callbacks = std::move(callbacks);
    transfer->state = std::make_shared<CancelState>();

    std::weak_ptr<Impl> weakImpl = m_impl;
    std::weak_ptr<Transfer> weakTransfer = transfer;
    transfer->state->setAbortAction([weakImpl, weakTransfer] {
        const auto impl = weakImpl.lock();
        if (!impl)
            return;
        {
            std::lock_guard lock(impl->mutex);
            if (impl->stopping)
                return;
            impl->toAbort.push_back(weakTransfer);
        }
        curl_multi_wakeup(impl->multi);
    });

    Cancelable handle(transfer->state);
    bool refused = false;
    {
        std::lock_guard lock(m_impl->mutex);
        if (m_impl->stopping)
            refused = true;
        else
            m_impl->toAdd.push_back(transfer);
    }
    if (refused)
        m_impl->report(transfer, HttpResult{std::nullopt, std::string("The network client has stopped")});
    else
        curl_multi_wakeup(m_impl->multi);
    return handle;
}

void HttpClient::Impl::run()
{
    for (;;) {
        std::deque<std::shared_ptr<Transfer>> adding;
        std::vector<std::weak_ptr<Transfer>> aborting;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                break;
            adding.swap(toAdd);
            aborting.swap(toAbort);
        }
        for (auto& transfer : adding)
            if (!transfer->state->cancelled())
                begin(transfer);
        for (auto& weak : aborting)
            if (auto transfer = weak.lock())
                remove(transfer);

        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            const auto it = active.find(message->easy_handle);
            if (it == active.end())
                continue;
            const auto transfer = it->second;
            finish(transfer, message->data.result);
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    // Stopping: every request still here ends without a report.
    for (auto& [easy, transfer] : std::map(active))
        remove(transfer);
}

void HttpClient::Impl::begin(const std::shared_ptr<Transfer>& transfer)
{
    HttpRequest& request = transfer->request;

    if (request.bodyFile) {
        transfer->fileDescriptor = ::open(request.bodyFile->c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (transfer->fileDescriptor < 0 || ::fstat(transfer->fileDescriptor, &status) != 0) {
            report(transfer, HttpResult{std::nullopt, "The file " + request.bodyFile->string()
                                                          + " could not be opened: "
                                                          + std::strerror(errno)});
            return;
        }
        transfer->bodySize = status.st_size;
    } else {
        transfer->bodySize = static_cast<int64_t>(request.body.size());
    }

    if (transfer->callbacks.onProgress) {
        transfer->progress = std::make_shared<Transfer::Progress>();
        transfer->progress->report = std::move(transfer->callbacks.onProgress);
        transfer->progress->total = transfer->bodySize;
    }

    CURL* easy = curl_easy_init();
    transfer->easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");

    // Inactivity: fail when fewer than one byte per second moves for the
    // whole time-out, and bound the connection set-up alike.
    // (The low-speed check also makes libcurl call onProgress at least once
    // a second while nothing moves, which is where the exact inactivity
    // time-out is kept.)
    const long timeout = std::max<long>(1, static_cast<long>(request.inactivityTimeout.count()));
    transfer->inactivityTimeout = std::chrono::seconds(timeout);
    transfer->lastMoved = std::chrono::steady_clock::now();
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, timeout);

    const bool hasBody = request.bodyFile || request.method != "GET";
    if (request.method == "GET" && !request.bodyFile && request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        if (request.method != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer->bodySize));
        if (request.bodyFile) {
            curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Impl::onRead);
            curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
            curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, HttpClient::uploadBufferSize);
        } else {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
        }
    }

    // Exactly the caller's fields: blank out what libcurl would add by itself.
    bool hasContentType = false, hasExpect = false, hasAccept = false;
    for (const auto& [name, value] : request.headers) {
        hasContentType |= equalsIgnoringCase(name, "Content-Type");
        hasExpect |= equalsIgnoringCase(name, "Expect");
        hasAccept |= equalsIgnoringCase(name, "Accept");
        // "Name;" is libcurl's way of sending a field with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    }
    if (hasBody && !hasContentType)
        transfer->headerList = curl_slist_append(transfer->headerList, "Content-Type:");
    if (hasBody && !hasExpect)
        transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    if (!hasAccept)
        transfer->headerList = curl_slist_append(transfer->headerList, "Accept:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);

    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        report(transfer, HttpResult{std::nullopt, "The request could not be started"});
        return;
    }
    transfer->added = true;
    active.emplace(easy, transfer);
}

void HttpClient::Impl::finish(const std::shared_ptr<Transfer>& transfer, CURLcode code)
{
    HttpResult result;
    if (code == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
        transfer->response.statusCode = status;
        result.response = std::move(transfer->response);
    } else if (transfer->timedOut) {
        result.failure = "Operation timed out: nothing was sent or received for "
            + std::to_string(transfer->inactivityTimeout.count()) + " seconds";
    } else {
        std::string description = transfer->errorBuffer[0] ? transfer->errorBuffer : curl_easy_strerror(code);
        result.failure = std::move(description);
    }
    remove(transfer);
    report(transfer, std::move(result));
}

void HttpClient::Impl::remove(const std::shared_ptr<Transfer>& transfer)
{
    if (!transfer->added)
        return;
    transfer->added = false;
    curl_multi_remove_handle(multi, transfer->easy);
    active.erase(transfer->easy);
}

void HttpClient::Impl::report(const std::shared_ptr<Transfer>& transfer, HttpResult result)
{
    auto state = transfer->state;
    auto onFinished = std::move(transfer->callbacks.onFinished);
    if (!onFinished)
        return;
    if (transfer->callbacks.delivery == Delivery::networkThread) {
        state->deliver([&] { onFinished(std::move(result)); });
        return;
    }
    if (!QCoreApplication::instance())
        return;
    runOnMain([state = std::move(state), onFinished = std::move(onFinished),
               result = std::move(result)]() mutable {
        state->deliver([&] { onFinished(std::move(result)); });
    });
}

size_t HttpClient::Impl::onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
        // A new response begins (after an interim "100 Continue" for example).
        transfer->response.headers.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer->response.headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                                std::string(trimmed(line.substr(colon + 1))));
    }
    return length;
}

size_t HttpClient::Impl::onBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    transfer->response.body.append(data, size * count);
    return size * count;
}

size_t HttpClient::Impl::onRead(char* buffer, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    for (;;) {
        const ssize_t got = ::read(transfer->fileDescriptor, buffer, size * count);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR)
            return CURL_READFUNC_ABORT;
    }
}

int HttpClient::Impl::onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->state->cancelled())
        return 1; // abort at once rather than on the next loop turn
    const auto now = std::chrono::steady_clock::now();
    if (dlnow + ulnow != transfer->moved) {
        transfer->moved = dlnow + ulnow;
        transfer->lastMoved = now;
    } else if (now - transfer->lastMoved >= transfer->inactivityTimeout) {
        transfer->timedOut = true;
        return 1;
    }
    const auto& progress = transfer->progress;
    if (!progress || ulnow == progress->sent.load())
        return 0;
    progress->sent.store(ulnow);
    if (transfer->callbacks.delivery == Delivery::networkThread) {
        transfer->state->deliver([&] { progress->report(ulnow, progress->total); });
        return 0;
    }
    if (progress->queued.exchange(true) || !QCoreApplication::instance())
        return 0;
    // The queued report reads the latest count when it runs.
    runOnMain([progress, state = transfer->state] {
        progress->queued.store(false);
        state->deliver([&] { progress->report(progress->sent.load(), progress->total); });
    });
    return 0;
}

} // namespace zirv::net
