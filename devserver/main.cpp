// zirv2-devserver: the reference backend and storage emulator on loopback.

#include "devserver/DevServer.h"
#include "devserver/Options.h"

#include <csignal>
#include <cstdio>
#include <semaphore>

namespace {

std::binary_semaphore stopRequested{0};

void onSignal(int)
{
    stopRequested.release();
}

} // namespace

int main(int argc, char** argv)
{
    auto parsed = zirv::devserver::parseOptions(argc, argv);
    if (parsed.showHelp) {
        std::fputs(zirv::devserver::helpText(argv[0]).c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s: %s (see --help)\n", argv[0], parsed.error.c_str());
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    zirv::devserver::DevServer server(parsed.options);
    if (auto failure = server.start(); !failure.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[0], failure.c_str());
        return 1;
    }
    std::printf("zirv2-devserver: data in %s, catalogue of %lld records\n", parsed.options.dataDir.c_str(),
                static_cast<long long>(parsed.options.catalogueSize));
    std::printf("ZIRV_BACKEND_URL=%s\n", server.backendUrl().c_str());
    std::printf("ZIRV_B2_AUTH_URL=%s\n", server.storageUrl().c_str());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    stopRequested.acquire();
    std::printf("zirv2-devserver: stopping\n");
    server.stop();
    return 0;
}
