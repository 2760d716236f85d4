#include "TestHttpServer.h"

#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace zirv::test {

namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Entries the server library puts among the header fields itself.
bool isPeerEntry(std::string_view name)
{
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR"
           || name == "LOCAL_PORT";
}

// Resets the server's end of the connection from `remotePort` to
// `localPort`: the socket is found among this process's descriptors and shut
// down with lingering off, so that the client, still sending, sees a reset
// rather than an answer.
void resetConnection(int localPort, int remotePort)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{}, remote{};
        socklen_t length = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET)
            continue;
        length = sizeof remote;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &length) != 0)
            continue;
        if (ntohs(local.sin_port) != localPort || ntohs(remote.sin_port) != remotePort)
            continue;
        const linger off{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
}

} // namespace

std::optional<std::string> RecordedRequest::header(std::string_view name) const
{
    const std::string wanted = lowered(name);
    for (const auto& [key, value] : headers)
        if (lowered(key) == wanted)
            return value;
    return std::nullopt;
}

std::vector<std::string> RecordedRequest::headerNames() const
{
    std::vector<std::string> names;
    for (const auto& [key, value] : headers)
        names.push_back(lowered(key));
    std::sort(names.begin(), names.end());
    return names;
}

struct TestHttpServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    struct Script {
        std::deque<ScriptedReply> queued;
        std::optional<ScriptedReply> standing;
    };
    std::map<std::pair<std::string, std::string>, Script> scripts;
    std::vector<RecordedRequest> recorded;

    std::optional<ScriptedReply> replyFor(const std::string& method, const std::string& path)
    {
        std::lock_guard lock(mutex);
        const auto it = scripts.find({method, path});
        if (it == scripts.end())
            return std::nullopt;
        if (!it->second.queued.empty()) {
            ScriptedReply reply = std::move(it->second.queued.front());
            it->second.queued.pop_front();
            return reply;
        }
        return it->second.standing;
    }

    void serve(const httplib::Request& request, httplib::Response& response,
               const httplib::ContentReader* reader)
    {
        const auto reply = replyFor(request.method, request.path);

        RecordedRequest record;
        record.method = request.method;
        record.path = request.path;
        if (const auto mark = request.target.find('?'); mark != std::string::npos)
            record.query = request.target.substr(mark + 1);
        for (const auto& [name, value] : request.headers)
            if (!isPeerEntry(name))
                record.headers.emplace_back(name, value);
        const bool sink = reply && reply->sink;
        if (reader) {
            const bool cut = reply && reply->cutRequest;
            (*reader)([&](const char* data, size_t length) {
                record.bodySize += length;
                if (!sink)
                    record.body.append(data, length);
                if (cut)
                    resetConnection(request.local_port, request.remote_port);
                return !cut;
            });
        } else {
            record.body = request.body;
            record.bodySize = request.body.size();
        }
        {
            std::lock_guard lock(mutex);
            recorded.push_back(std::move(record));
        }

        if (!reply) {
            response.status = 404;
            response.body = "not scripted";
            return;
        }
        if (reply->delay.count() > 0) {
            std::unique_lock lock(mutex);
            stopped.wait_for(lock, reply->delay, [&] { return stopping; });
        }
        response.status = reply->status;
        for (const auto& [name, value] : reply->headers)
            response.set_header(name, value);
        if (reply->drop) {
            const std::string body = reply->body.empty() ? std::string(64, 'x') : reply->body;
            const size_t half = body.size() / 2;
            response.set_content_provider(
                body.size(), "", [body, half](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset < half)
                        sink.write(body.data(), half);
                    return false; // closes the connection mid-body
                });
            return;
        }
        response.body = reply->body;
    }
};

TestHttpServer::TestHttpServer() : m_impl(std::make_unique<Impl>())
{
    auto& server = m_impl->server;
    // One request per connection: the server closes it after answering, so
    // that stopping never waits for idle keep-alive connections. (The wait
    // for a first request on a new connection is the keep-alive time-out.)
    server.set_keep_alive_max_count(1);
    server.set_keep_alive_timeout(5);
    server.set_payload_max_length(std::numeric_limits<size_t>::max());
    const auto withReader = [impl = m_impl.get()](const httplib::Request& request,
                                                  httplib::Response& response,
                                                  const httplib::ContentReader& reader) {
        impl->serve(request, response, &reader);
    };
    const auto plain = [impl = m_impl.get()](const httplib::Request& request,
                                             httplib::Response& response) {
        impl->serve(request, response, nullptr);
    };
    const std::string any = ".*";
    server.Post(any, withReader);
    server.Put(any, withReader);
    server.Patch(any, withReader);
    server.Get(any, plain);
    server.Delete(any, plain);

    m_impl->port = server.bind_to_any_port("127.0.0.1");
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->server.listen_after_bind(); });
    // stop() only reaches a server that is already accepting.
    while (!server.is_running())
        std::this_thread::yield();
}

TestHttpServer::~TestHttpServer()
{
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->stopped.notify_all();
    m_impl->server.stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

int TestHttpServer::port() const
{
    return m_impl->port;
}

std::string TestHttpServer::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_impl->port);
}

void TestHttpServer::setReply(std::string_view method, std::string_view path, ScriptedReply reply)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->scripts[{std::string(method), std::string(path)}].standing = std::move(reply);
}

void TestHttpServer::queueReply(std::string_view method, std::string_view path, ScriptedReply reply)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->scripts[{std::string(method), std::string(path)}].queued.push_back(std::move(reply));
}

std::vector<RecordedRequest> TestHttpServer::requests() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->recorded;
}

size_t TestHttpServer::requestCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->recorded.size();
}

void TestHttpServer::clearRequests()
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->recorded.clear();
}

} // namespace zirv::test
