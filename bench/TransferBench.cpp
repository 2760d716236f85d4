// The transfer step (SHA-1 on a worker, then the file streamed) against
// `curl -T` to the same loopback sink in the same run, and the longest gap of
// the main event loop while the step runs.

#include "tests/support/TestHttpServer.h"
#include "upload/ContentCache.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <filesystem>

using namespace zirv;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr qint64 size = 512LL * 1024 * 1024;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "zirv-transfer-bench.bin";
    {
        QFile out(QFile::decodeName(file.c_str()));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(4 << 20, 'z');
        for (qint64 written = 0; written < size; written += block.size())
            out.write(block);
    }
    test::TestHttpServer sink;
    sink.setReply("POST", "/upload", test::ScriptedReply(200, "{}").sinking());
    sink.setReply("PUT", "/upload", test::ScriptedReply(200, "{}").sinking());

    // Baseline: curl -T streams the file.
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                               QStringLiteral("-T"), QFile::decodeName(file.c_str()),
                                               QString::fromStdString(sink.baseUrl()) + QStringLiteral("/upload")});
    const double curlSeconds = clock.nsecsElapsed() / 1e9;

    NotificationHub hub;
    ContentCache cache(hub);
    auto item = std::make_shared<mediaItemStatus>();
    item->uniqueId = QStringLiteral("bench");
    item->fileLocation = file;
    item->size = size;
    item->currentStatus = ProcessingState::backblazeUploadFile;
    item->backblazeUploadUrlString = QString::fromStdString(sink.baseUrl()) + QStringLiteral("/upload");
    item->backblazeUploadAuthorizationToken = QStringLiteral("token");
    item->backblazeFileName = QStringLiteral("bench.mp3");
    cache.mediaItemsList.append(item);

    qint64 longestGapNs = 0;
    QElapsedTimer gap;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, gap.nsecsElapsed());
        gap.restart();
    });
    clock.restart();
    gap.start();
    watch.start();
    cache.backblazeUploadFile(item->uniqueId);
    while (item->isCurrentlyProcessing)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double stepSeconds = clock.nsecsElapsed() / 1e9;
    watch.stop();
    std::filesystem::remove(file);

    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("transfer step (SHA-1 included): %.0f MiB/s, state %d\n", mib / stepSeconds,
                ordinal(item->currentStatus));
    std::printf("curl -T baseline:                %.0f MiB/s\n", mib / curlSeconds);
    std::printf("ratio step/curl: %.2f (target >= 0.8)\n", curlSeconds / stepSeconds);
    std::printf("longest main-loop gap: %.1f ms (target < 50 ms)\n", longestGapNs / 1e6);
    return 0;
}
