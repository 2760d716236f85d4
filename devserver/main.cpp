// zirv2-devserver: the reference backend and storage emulator on loopback.

#include "devserver/DevServer.h"
#include "devserver/Options.h"

#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>

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
    // SIGINT and SIGTERM are taken synchronously by sigwait below; the serving
    // threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
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
    int received = 0;
    sigwait(&stopSignals, &received);
    std::printf("zirv2-devserver: stopping\n");
    server.stop();
    return 0;
}
