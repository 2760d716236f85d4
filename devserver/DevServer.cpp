#include "devserver/DevServer.h"

#include "devserver/Backend.h"
#include "devserver/ServerState.h"
#include "devserver/Storage.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace zirv::devserver {

namespace {

std::unique_ptr<httplib::Server> makeServer(const Options& options)
{
    std::unique_ptr<httplib::Server> server;
    if (!options.tlsCert.empty())
        server = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    else
        server = std::make_unique<httplib::Server>();
    // Without TCP_NODELAY every small answer waits for the peer's delayed ACK.
    server->set_tcp_nodelay(true);
    server->set_keep_alive_timeout(options.keepAliveSeconds);
    server->set_read_timeout(60);
    server->set_write_timeout(60);
    server->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        writeError(res, 500, "internal_error", "the server failed to answer");
    });
    // Unknown paths and refused requests get a JSON body too.
    server->set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty() || res.content_length_ > 0)
            return httplib::Server::HandlerResponse::Unhandled;
        writeError(res, res.status, res.status == 404 ? "not_found" : "bad_request",
                   res.status == 404 ? "no such path" : "the request was refused");
        return httplib::Server::HandlerResponse::Handled;
    }));
    if (options.verbose) {
        server->set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::printf("%s %s -> %d\n", req.method.c_str(), req.path.c_str(), res.status);
            std::fflush(stdout);
        });
    }
    return server;
}

} // namespace

DevServer::DevServer(Options options)
    : m_state(std::make_unique<ServerState>())
{
    m_state->options = std::move(options);
    m_state->faults.reseed(m_state->options.faultSeed);
}

DevServer::~DevServer()
{
    stop();
}

Faults& DevServer::faults()
{
    return m_state->faults;
}

std::string DevServer::backendUrl() const
{
    return m_state->backendUrl;
}

std::string DevServer::storageUrl() const
{
    return m_state->storageUrl;
}

std::string DevServer::start()
{
    auto& state = *m_state;
    const auto& o = state.options;
    std::error_code error;
    state.filesDir = o.dataDir / "storage" / "files";
    state.partsDir = o.dataDir / "storage" / "parts";
    std::filesystem::create_directories(state.filesDir, error);
    std::filesystem::create_directories(state.partsDir, error);
    if (error)
        return "cannot create the data folder " + o.dataDir.string() + ": " + error.message();
    // Uploads cut off by an earlier stop leave their parts behind.
    for (const auto& entry : std::filesystem::directory_iterator(state.partsDir, error))
        std::filesystem::remove(entry.path(), error);

    if (auto failure = state.db.open(o.dataDir / "devserver.sqlite"); !failure.empty())
        return "cannot open the database: " + failure;

    // The catalogue's counters come first in the one sequence; what the
    // database handed out before stays above them.
    state.catalogue = std::make_unique<Catalogue>(o.catalogueSize, 1);
    state.db.raiseSequenceTo(state.catalogue->lastCounter());

    for (const auto& value : o.faultSwitches)
        state.faults.addFromSwitch(value);
    for (const auto& value : o.failRateSwitches)
        state.faults.setFailureRateFromSwitch(value);
    state.faults.setLatency(std::chrono::milliseconds(o.latencyMs));
    state.faults.setStallDuration(std::chrono::milliseconds(o.stallMs));

    m_backend = std::make_unique<Backend>(state);
    m_storage = std::make_unique<Storage>(state);
    m_storage->seedBuckets();

    m_backendServer = makeServer(o);
    m_storageServer = makeServer(o);
    if (!m_backendServer->is_valid() || !m_storageServer->is_valid())
        return "cannot load the TLS certificate or key";
    m_backend->install(*m_backendServer);
    m_storage->install(*m_storageServer);

    auto bind = [&](httplib::Server& server, int port) {
        if (port == 0)
            return server.bind_to_any_port(o.host);
        return server.bind_to_port(o.host, port) ? port : -1;
    };
    m_backendPort = bind(*m_backendServer, o.backendPort);
    if (m_backendPort <= 0)
        return "cannot listen on " + o.host + ":" + std::to_string(o.backendPort);
    m_storagePort = bind(*m_storageServer, o.storagePort);
    if (m_storagePort <= 0)
        return "cannot listen on " + o.host + ":" + std::to_string(o.storagePort);

    const std::string scheme = o.tlsCert.empty() ? "http://" : "https://";
    state.backendUrl = scheme + o.host + ":" + std::to_string(m_backendPort);
    state.storageUrl = scheme + o.host + ":" + std::to_string(m_storagePort);

    m_backendThread = std::thread([this] { m_backendServer->listen_after_bind(); });
    m_storageThread = std::thread([this] { m_storageServer->listen_after_bind(); });
    // The server library's stop() only reaches a server already accepting:
    // stopped earlier, its loop would start afterwards and never end.
    while (!m_backendServer->is_running() || !m_storageServer->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_running = true;
    return {};
}

void DevServer::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_state->faults.shutdown();
    m_backendServer->stop();
    m_storageServer->stop();
    if (m_backendThread.joinable())
        m_backendThread.join();
    if (m_storageThread.joinable())
        m_storageThread.join();
}

} // namespace zirv::devserver
