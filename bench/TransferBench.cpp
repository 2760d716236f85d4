// The transfer step (SHA-1 on a worker, then the file streamed) against
// `curl -T` to the same loopback sink in the same run, and the longest gap of
// the main event loop while the step runs. Best of several interleaved rounds.

#include "bench/LoopbackSink.h"
#include "upload/ContentCache.h"
#include "upload/util/Digest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace zirv;

namespace {

constexpr qint64 fileSize = 512LL * 1024 * 1024;

double curlSeconds(const std::filesystem::path& file, const std::string& url)
{
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                               QStringLiteral("-T"), QFile::decodeName(file.c_str()),
                                               QString::fromStdString(url)});
    return clock.nsecsElapsed() / 1e9;
}

double digestSeconds(const std::filesystem::path& file)
{
    QElapsedTimer clock;
    clock.start();
    digestFile(file, DigestAlgorithm::sha1);
    return clock.nsecsElapsed() / 1e9;
}

struct StepRun {
    double seconds = 0;        // whole step, SHA-1 included
    double digestSeconds = 0;  // until the transfer started
    double longestGapMs = 0;   // of the main event loop
    bool reachedValidation = false;
};

// An audio item of the benchmark file, stored as "bench.mp3".
MediaItemRef addItem(ContentCache& cache, const QString& id, const std::filesystem::path& file,
                     ProcessingState state)
{
    auto item = std::make_shared<mediaItemStatus>();
    item->uniqueId = id;
    item->fileLocation = file;
    item->size = fileSize;
    item->currentStatus = state;
    item->backblazeFileName = QStringLiteral("bench.mp3");
    cache.mediaItemsList.append(item);
    return item;
}

StepRun runStep(const std::filesystem::path& file, const std::string& url, int round)
{
    NotificationHub hub;
    ContentCache cache(hub);
    const MediaItemRef item = addItem(cache, QStringLiteral("bench-%1").arg(round), file,
                                      ProcessingState::backblazeUploadFile);
    item->backblazeUploadUrlString = QString::fromStdString(url);
    item->backblazeUploadAuthorizationToken = QStringLiteral("token");

    StepRun run;
    qint64 longestGapNs = 0;
    QElapsedTimer clock;
    QElapsedTimer gap;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, gap.nsecsElapsed());
        gap.restart();
        if (run.digestSeconds == 0 && item->session)
            run.digestSeconds = clock.nsecsElapsed() / 1e9;
    });
    clock.start();
    gap.start();
    watch.start();
    cache.backblazeUploadFile(item->uniqueId);
    while (item->isCurrentlyProcessing)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.longestGapMs = longestGapNs / 1e6;
    run.reachedValidation = item->currentStatus == ProcessingState::backblazeValidateFile;
    return run;
}

// The item from the storage authorisation on, its small requests answered
// after `latency` each; answers the time the item spent in the transfer step.
StepRun runChain(const std::filesystem::path& file, bench::LoopbackSink& sink, int round,
                 std::chrono::milliseconds latency)
{
    sink.setAnswer("/b2api/v2/b2_authorize_account",
                   R"({"authorizationToken":"account","apiUrl":")" + sink.origin() + "\"}", latency);
    sink.setAnswer("/b2api/v2/b2_list_buckets", R"({"buckets":[{"bucketName":"vedidi2rodar","bucketId":"b1"}]})",
                   latency);
    sink.setAnswer("/b2api/v2/b2_get_upload_url",
                   R"({"uploadUrl":")" + sink.url() + R"(","authorizationToken":"upload"})", latency);
    sink.setAnswer("/b2api/v2/b2_list_file_names", R"({"files":[{}],"nextFileName":"bench.mp3"})", latency);

    NotificationHub hub;
    ContentCache cache(hub);
    cache.storageAuthorisationOrigin = QString::fromStdString(sink.origin());
    const MediaItemRef item = addItem(cache, QStringLiteral("chain-%1").arg(round), file,
                                      ProcessingState::backblazeGetAuthorisation);

    StepRun run;
    QElapsedTimer clock;
    clock.start();
    double stepStarted = 0;
    while (isPending(item->currentStatus) && item->currentStatus != ProcessingState::serverWriteFileOwnership) {
        if (!item->isCurrentlyProcessing) {
            if (item->currentStatus == ProcessingState::backblazeUploadFile)
                stepStarted = clock.nsecsElapsed() / 1e9;
            else if (item->currentStatus == ProcessingState::backblazeValidateFile && run.seconds == 0)
                run.seconds = clock.nsecsElapsed() / 1e9 - stepStarted;
            (cache.*ContentCache::stepFor(item->currentStatus))(item->uniqueId);
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    run.reachedValidation = item->currentStatus == ProcessingState::serverWriteFileOwnership;
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zirv-transfer-bench.bin";
    {
        QFile out(QFile::decodeName(file.c_str()));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(4 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 + (i >> 12));
        for (qint64 written = 0; written < fileSize; written += block.size())
            out.write(block);
    }
    bench::LoopbackSink sink;
    curlSeconds(file, sink.url()); // warms the page cache and the sink

    double bestCurl = 1e9, bestDigest = 1e9;
    StepRun best;
    best.seconds = 1e9;
    double longestGapMs = 0;
    bool allValidated = true;
    for (int round = 0; round < rounds; ++round) {
        bestCurl = std::min(bestCurl, curlSeconds(file, sink.url()));
        bestDigest = std::min(bestDigest, digestSeconds(file));
        const StepRun run = runStep(file, sink.url(), round);
        allValidated = allValidated && run.reachedValidation && sink.lastBodySize() == fileSize;
        longestGapMs = std::max(longestGapMs, run.longestGapMs);
        if (run.seconds < best.seconds)
            best = run;
    }
    // The same with the storage service's small answers taking a typical
    // round trip over the internet, during which the SHA-1 is read ahead.
    constexpr std::chrono::milliseconds latency(100);
    double bestChainStep = 1e9;
    for (int round = 0; round < rounds; ++round) {
        const StepRun run = runChain(file, sink, round, latency);
        allValidated = allValidated && run.reachedValidation;
        bestChainStep = std::min(bestChainStep, run.seconds);
    }
    std::filesystem::remove(file);

    const double mib = static_cast<double>(fileSize) / (1024.0 * 1024.0);
    std::printf("512 MiB, best of %d rounds%s\n", rounds, allValidated ? "" : " (A TRANSFER FAILED)");
    std::printf("transfer step, SHA-1 included: %6.0f MiB/s (%.3f s: SHA-1 %.3f s, transfer %.3f s)\n",
                mib / best.seconds, best.seconds, best.digestSeconds, best.seconds - best.digestSeconds);
    std::printf("curl -T baseline:              %6.0f MiB/s (%.3f s)\n", mib / bestCurl, bestCurl);
    std::printf("bare SHA-1 of the file:        %6.0f MiB/s (%.3f s)\n", mib / bestDigest, bestDigest);
    std::printf("ratio step/curl: %.2f (target >= 0.8)\n", bestCurl / best.seconds);
    // The request declares the SHA-1 in a header, so a whole pass over the
    // file precedes its first byte: even a transfer taking no time at all
    // cannot do better than this.
    std::printf("ceiling of any step that declares the SHA-1 first, curl/bare SHA-1: %.2f\n",
                bestCurl / bestDigest);
    std::printf("transfer phase alone against curl -T: %.2f\n",
                bestCurl / (best.seconds - best.digestSeconds));
    std::printf("transfer step after a chain with %lld ms storage answers (SHA-1 read ahead): %.3f s, "
                "ratio to curl -T %.2f\n",
                static_cast<long long>(latency.count()), bestChainStep, bestCurl / bestChainStep);
    std::printf("longest main-loop gap over all rounds: %.1f ms (target < 50 ms)\n", longestGapMs);
    return allValidated ? 0 : 1;
}
