// Decoding speed of the wire codec against the bare JSON parser, and the HTTP
// client's streamed upload speed on loopback.
//
//   zirv_bench_codec [upload MiB, default 256; 0 skips the upload]
//
// Decoding: a 10 MB answer of 50,000 records is decoded into records by the
// strict codec and, in the same run, merely walked by simdjson's On-Demand
// parser (every value read, nothing kept); the ratio is codec / parser.

#include "backend/net/HttpClient.h"
#include "backend/wire/CommonRecords.h"
#include "backend/wire/WireCodec.h"

#ifdef ZIRV_BENCH_HAS_SERVER
#include "tests/support/TestHttpServer.h"
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace zirv {

// A catalogue-like record: the member mix of the answers the codec carries.
struct benchMediaDefinition {
    QUuid entityKey;
    QString title;
    QString artist;
    QString releaseDate;
    int32_t duration = 0;
    int16_t transferStatus = 0;
    int64_t updateRecord = 0;
    float bpm = 0;
    bool isActive = false;
};
ZIRV_WIRE_RECORD(benchMediaDefinition, entityKey, title, artist, releaseDate,
                 duration, transferStatus, updateRecord, bpm, isActive)

struct benchChangesOutput {
    commonStatus status;
    std::vector<benchMediaDefinition> listZIRV_MediaDefinition;
};
ZIRV_WIRE_RECORD(benchChangesOutput, status, listZIRV_MediaDefinition)

} // namespace zirv

namespace {

using Clock = std::chrono::steady_clock;

std::string makeAnswer(size_t records)
{
    std::mt19937_64 random(42);
    zirv::benchChangesOutput answer;
    answer.status.statusCode = 1;
    answer.status.dataRecordsReturned = static_cast<int32_t>(records);
    answer.status.databaseErrors.errorMessage = QStringLiteral("");
    for (size_t i = 0; i < records; ++i) {
        zirv::benchMediaDefinition record;
        record.entityKey = QUuid::createUuid();
        record.title = QStringLiteral("Track %1").arg(i);
        record.artist = QStringLiteral("Studio Ärger");
        record.releaseDate = QStringLiteral("2023-05-01");
        record.duration = static_cast<int32_t>(random() % 600);
        record.transferStatus = static_cast<int16_t>(random() % 4);
        record.updateRecord = static_cast<int64_t>(random() % 10'000'000'000LL);
        record.bpm = static_cast<float>(random() % 2000) / 10.0f;
        record.isActive = (random() & 1) != 0;
        answer.listZIRV_MediaDefinition.push_back(std::move(record));
    }
    return *zirv::wire::encode(answer);
}

// Reads every value of the document without keeping anything: the parser's
// own cost for the same work of finding every member.
size_t walk(simdjson::ondemand::value value)
{
    size_t touched = 0;
    switch (value.type().value_unsafe()) {
    case simdjson::ondemand::json_type::object:
        for (auto field : value.get_object().value_unsafe()) {
            touched += field.unescaped_key().value_unsafe().size();
            touched += walk(field.value().value_unsafe());
        }
        break;
    case simdjson::ondemand::json_type::array:
        for (auto element : value.get_array().value_unsafe())
            touched += walk(element.value_unsafe());
        break;
    case simdjson::ondemand::json_type::string:
        touched += value.get_string().value_unsafe().size();
        break;
    case simdjson::ondemand::json_type::number:
        touched += static_cast<size_t>(value.get_double().value_unsafe()) & 1;
        break;
    case simdjson::ondemand::json_type::boolean:
        touched += value.get_bool().value_unsafe();
        break;
    case simdjson::ondemand::json_type::null:
        break;
    }
    return touched;
}

// The same document read the way a hand-written decoder would: members in
// their known order and types, nothing kept. The fastest On-Demand can go.
size_t walkTyped(simdjson::ondemand::document& document)
{
    size_t touched = 0;
    auto root = document.get_object().value_unsafe();
    for (auto field : root) {
        const std::string_view key = field.unescaped_key().value_unsafe();
        auto value = field.value().value_unsafe();
        if (key == "status") {
            auto status = value.get_object().value_unsafe();
            for (auto member : status) {
                const std::string_view name = member.unescaped_key().value_unsafe();
                auto v = member.value().value_unsafe();
                if (name == "moreDataAvailable")
                    touched += v.get_bool().value_unsafe();
                else if (name == "databaseErrors")
                    touched += walk(v);
                else
                    touched += static_cast<size_t>(v.get_int64().value_unsafe());
            }
            continue;
        }
        for (auto element : value.get_array().value_unsafe()) {
            auto record = element.get_object().value_unsafe();
            for (auto member : record) {
                const std::string_view name = member.unescaped_key().value_unsafe();
                auto v = member.value().value_unsafe();
                switch (name[0]) {
                case 'd': case 't': case 'u':
                    touched += static_cast<size_t>(v.get_int64().value_unsafe());
                    break;
                case 'b':
                    touched += static_cast<size_t>(v.get_double().value_unsafe());
                    break;
                case 'i':
                    touched += v.get_bool().value_unsafe();
                    break;
                default:
                    touched += v.get_string().value_unsafe().size();
                }
            }
        }
    }
    return touched;
}

template <class F>
double bestSeconds(int rounds, F&& run)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void benchDecoding()
{
    const size_t records = 50'000;
    const std::string text = makeAnswer(records);
    const simdjson::padded_string padded(text);
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    const int rounds = 10;

    size_t sink = 0;
    // One parser for all rounds, as the codec keeps one per thread.
    simdjson::ondemand::parser parser;
    const double parserSeconds = bestSeconds(rounds, [&] {
        auto document = parser.iterate(padded).value_unsafe();
        sink += walk(document.get_value().value_unsafe());
    });
    const double typedSeconds = bestSeconds(rounds, [&] {
        auto document = parser.iterate(padded).value_unsafe();
        sink += walkTyped(document);
    });
    bool ok = true;
    const double codecSeconds = bestSeconds(rounds, [&] {
        const auto result = zirv::wire::decode<zirv::benchChangesOutput>(simdjson::padded_string_view(padded));
        ok = ok && result && result.value->listZIRV_MediaDefinition.size() == records;
    });
    const double parserRate = megabytes / parserSeconds;
    const double typedRate = megabytes / typedSeconds;
    const double codecRate = megabytes / codecSeconds;
    std::printf("decode: %.1f MB answer, %zu records (%s)\n", megabytes, records, ok ? "all decoded" : "FAILED");
    std::printf("  simdjson On-Demand, generic walk of every value : %8.1f MB/s\n", parserRate);
    std::printf("  simdjson On-Demand, typed walk (nothing kept)   : %8.1f MB/s\n", typedRate);
    std::printf("  strict codec into records                       : %8.1f MB/s\n", codecRate);
    std::printf("  ratio codec / generic walk %.2f, codec / typed walk %.2f (target >= 200 MB/s)\n",
                codecRate / parserRate, codecRate / typedRate);
    std::printf("  (checksum %zu)\n", sink);
}

#ifdef ZIRV_BENCH_HAS_SERVER
void benchUpload(int mebibytes)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + QStringLiteral("/upload.bin")).toStdString();
    {
        std::ofstream out(path, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>(i * 131 % 251);
        for (int i = 0; i < mebibytes; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    zirv::test::TestHttpServer server;
    server.setReply("POST", "/upload", zirv::test::ScriptedReply(200, "{}").sinking());

    zirv::net::HttpRequest request;
    request.url = server.baseUrl() + "/upload";
    request.bodyFile = path;
    QEventLoop loop;
    std::optional<zirv::net::HttpResult> result;
    zirv::net::HttpCallbacks callbacks;
    callbacks.onFinished = [&](zirv::net::HttpResult r) {
        result = std::move(r);
        loop.quit();
    };
    const auto start = Clock::now();
    auto handle = zirv::net::HttpClient::shared().start(request, callbacks);
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const auto received = server.requests().empty() ? 0 : server.requests().front().bodySize;
    std::printf("upload: %d MiB streamed POST to a loopback sink (%s, %zu bytes received)\n", mebibytes,
                result && result->response ? "ok" : "FAILED", received);
    const double clientRate = static_cast<double>(mebibytes) * 1048576.0 / 1e6 / seconds;
    std::printf("  client layer                 : %8.1f MB/s\n", clientRate);

    // The same upload by the curl tool (-T streams the file), same sink.
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-X"),
                QStringLiteral("POST"), QStringLiteral("-H"), QStringLiteral("Expect:"), QStringLiteral("-T"),
                QString::fromStdString(path), QString::fromStdString(request.url)});
    if (curl.waitForFinished(120000) && curl.exitCode() == 0) {
        const double curlRate = static_cast<double>(mebibytes) * 1048576.0 / 1e6 / (timer.nsecsElapsed() / 1e9);
        std::printf("  curl -T (same sink)          : %8.1f MB/s  (ratio client / curl %.2f)\n", curlRate,
                    clientRate / curlRate);
    } else {
        std::printf("  curl -T                      : not available\n");
    }
}
#endif

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int uploadMiB = argc > 1 ? std::atoi(argv[1]) : 256;
    benchDecoding();
#ifdef ZIRV_BENCH_HAS_SERVER
    if (uploadMiB > 0)
        benchUpload(uploadMiB);
#else
    (void)uploadMiB;
#endif
    return 0;
}
