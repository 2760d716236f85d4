#pragma once
// The server's settings and its command line.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zirv::devserver {

struct Options {
    std::filesystem::path dataDir;
    std::string host = "127.0.0.1";
    int backendPort = 8780; // 0: any free port
    int storagePort = 8781;
    int64_t catalogueSize = 1000;
    int pageSize = 500;
    std::string keyId;          // empty: the build's key pair
    std::string applicationKey; //
    std::string applicationSecret; // empty: the build's shared secret
    std::filesystem::path tlsCert;
    std::filesystem::path tlsKey;
    int pbkdf2Iterations = 100000;
    size_t maxBodyBytes = 64u * 1024 * 1024;
    int keepAliveSeconds = 5;
    bool verbose = false;

    // Fault switches, applied as given (see Faults).
    int latencyMs = 0;
    int stallMs = 120000;
    uint32_t faultSeed = 1;
    std::vector<std::string> faultSwitches;    // KIND[:OPERATION]=COUNT
    std::vector<std::string> failRateSwitches; // OPERATION=RATE
};

// The data folder used when none is given: $XDG_DATA_HOME/zirv2-devserver,
// else ~/.local/share/zirv2-devserver.
std::filesystem::path defaultDataDir();

std::string helpText(const char* program);

struct ParsedOptions {
    Options options;
    bool showHelp = false;
    std::string error; // not empty: the command line was refused
};

ParsedOptions parseOptions(int argc, const char* const* argv);

} // namespace zirv::devserver
