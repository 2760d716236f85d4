#pragma once
// The reference backend and storage emulator as one object: opens the data
// folder, builds the catalogue, binds both ports and serves each on its own
// thread until stopped. Used by the executable and, in-process, by tests.

#include "devserver/Options.h"

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zirv::devserver {

class Backend;
class Faults;
class Storage;
struct ServerState;

class DevServer {
public:
    explicit DevServer(Options options);
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Empty on success, otherwise why it could not start.
    std::string start();
    void stop();

    int backendPort() const { return m_backendPort; }
    int storagePort() const { return m_storagePort; }
    std::string backendUrl() const;
    std::string storageUrl() const;
    Faults& faults();

private:
    std::unique_ptr<ServerState> m_state;
    std::unique_ptr<Backend> m_backend;
    std::unique_ptr<Storage> m_storage;
    std::unique_ptr<httplib::Server> m_backendServer;
    std::unique_ptr<httplib::Server> m_storageServer;
    std::thread m_backendThread;
    std::thread m_storageThread;
    int m_backendPort = 0;
    int m_storagePort = 0;
    bool m_running = false;
};

} // namespace zirv::devserver
