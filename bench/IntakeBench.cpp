// Intake throughput: how fast dropped files become items (read + SHA-256),
// against OpenSSL's own SHA-256 speed over memory measured in the same run,
// and the peak memory while one large file is taken (measured in a child
// process that does nothing else, so the benchmark's own buffers don't count).
//
// Usage: zirv_bench_intake [work folder]   (default: a temporary folder)
// The files are written first and read once before timing, so the page cache
// is warm: the figures measure reading from the cache and hashing, not the disk.

#include "app/core/NotificationHub.h"
#include "upload/ContentCache.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int64_t MiB = 1 << 20;
constexpr int folderFiles = 200;
constexpr int64_t folderFileSize = 5 * 1000 * 1000;
constexpr int64_t largeFileSize = 1024 * MiB;
constexpr int rounds = 5;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double megabytesPerSecond(int64_t bytes, double secs)
{
    return static_cast<double>(bytes) / 1e6 / secs;
}

void writeFile(const fs::path& path, int64_t size, std::mt19937_64& random)
{
    std::vector<uint64_t> block(MiB / sizeof(uint64_t));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int64_t done = 0; done < size;) {
        for (uint64_t& word : block)
            word = random();
        const int64_t n = std::min<int64_t>(MiB, size - done);
        out.write(reinterpret_cast<const char*>(block.data()), n);
        done += n;
    }
}

// Reads a file to the end so that its pages are in the cache.
void warm(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(MiB);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

// OpenSSL's SHA-256 over an in-memory buffer, in 1 MiB updates.
double opensslSha256Speed(const std::vector<unsigned char>& buffer, int64_t totalBytes)
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    const auto start = Clock::now();
    for (int64_t done = 0; done < totalBytes; done += MiB)
        EVP_DigestUpdate(context, buffer.data() + (done % static_cast<int64_t>(buffer.size())), MiB);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    const double speed = megabytesPerSecond(totalBytes, seconds(Clock::now() - start));
    EVP_MD_CTX_free(context);
    return speed;
}

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

// The child's part: take one file and print the process's peak resident
// size, so that nothing of the benchmark itself (its buffers) is counted.
int intakePeak(const fs::path& file)
{
    zirv::NotificationHub hub;
    zirv::ContentCache cache(hub);
    const long before = statusKiB("VmHWM");
    cache.addMediaFile(file);
    if (cache.mediaItemsList.count() != 1)
        return 1;
    std::printf("%ld %ld\n", before, statusKiB("VmHWM"));
    return 0;
}

// Runs this program again as a child that only takes `file`; answers its peak
// resident size before and after the intake, in KiB.
std::optional<std::pair<long, long>> childIntakePeak(const fs::path& file)
{
    const std::string command = "'" + fs::read_symlink("/proc/self/exe").string() + "' --intake-peak '"
        + file.string() + "'";
    FILE* child = ::popen(command.c_str(), "r");
    if (!child)
        return std::nullopt;
    long before = -1;
    long after = -1;
    const int fields = std::fscanf(child, "%ld %ld", &before, &after);
    if (::pclose(child) != 0 || fields != 2)
        return std::nullopt;
    return std::pair(before, after);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--intake-peak")
        return intakePeak(argv[2]);
    QTemporaryDir temporary;
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path(temporary.path().toStdString());
    fs::create_directories(root);
    const fs::path folder = root / "folder";
    const fs::path large = root / "large" / "one.mp3";
    fs::create_directories(folder);
    fs::create_directories(large.parent_path());

    std::printf("intake benchmark: page cache warm (files written, then read once before timing)\n");
    std::mt19937_64 random(42);
    for (int i = 0; i < folderFiles; ++i)
        writeFile(folder / ("track" + std::to_string(i) + ".mp3"), folderFileSize, random);
    writeFile(large, largeFileSize, random);
    for (const auto& entry : fs::directory_iterator(folder))
        warm(entry.path());
    warm(large);

    std::vector<unsigned char> memory(64 * MiB);
    for (auto& byte : memory)
        byte = static_cast<unsigned char>(random());

    // The rounds interleave the baseline with the two intakes, so that a
    // passing load on the machine hits them alike; the best of each counts.
    zirv::NotificationHub hub;
    const int64_t folderBytes = folderFiles * folderFileSize;
    double baseline = 0;
    double folderBest = 0;
    double largeBest = 0;
    std::vector<double> folderRatios;
    std::vector<double> largeRatios;
    for (int round = 0; round < rounds; ++round) {
        const double roundBaseline = opensslSha256Speed(memory, largeFileSize);
        baseline = std::max(baseline, roundBaseline);
        {
            zirv::ContentCache cache(hub);
            const auto start = Clock::now();
            cache.addMediaFolder(folder);
            const double secs = seconds(Clock::now() - start);
            if (cache.mediaItemsList.count() != static_cast<size_t>(folderFiles)) {
                std::fprintf(stderr, "expected %d items, got %zu\n", folderFiles, cache.mediaItemsList.count());
                return 1;
            }
            folderBest = std::max(folderBest, megabytesPerSecond(folderBytes, secs));
            folderRatios.push_back(megabytesPerSecond(folderBytes, secs) / roundBaseline);
        }
        {
            zirv::ContentCache cache(hub);
            const auto start = Clock::now();
            cache.addMediaFile(large);
            const double secs = seconds(Clock::now() - start);
            if (cache.mediaItemsList.count() != 1) {
                std::fprintf(stderr, "the large file gave no item\n");
                return 1;
            }
            largeBest = std::max(largeBest, megabytesPerSecond(largeFileSize, secs));
            largeRatios.push_back(megabytesPerSecond(largeFileSize, secs) / roundBaseline);
        }
    }

    std::printf("best of %d rounds, each round: OpenSSL, folder, large file\n", rounds);
    std::printf("OpenSSL SHA-256 over memory (EVP, 1 MiB updates): %8.1f MB/s\n", baseline);
    std::printf("intake, folder of %d files of 5 MB:    %8.1f MB/s   ratio to OpenSSL %.3f\n", folderFiles,
                folderBest, folderBest / baseline);
    std::printf("intake, one file of 1 GiB:               %8.1f MB/s   ratio to OpenSSL %.3f\n", largeBest,
                largeBest / baseline);
    const auto printRatios = [](const char* what, std::vector<double> ratios) {
        std::sort(ratios.begin(), ratios.end());
        std::printf("  per-round ratios, %s:", what);
        for (const double ratio : ratios)
            std::printf(" %.3f", ratio);
        std::printf("  (median %.3f)\n", ratios[ratios.size() / 2]);
    };
    printRatios("folder", folderRatios);
    printRatios("1 GiB file", largeRatios);
    if (const auto peak = childIntakePeak(large))
        std::printf("peak resident memory of a process taking the 1 GiB file: %.1f MiB (%.1f MiB before "
                    "the intake)\n",
                    peak->second / 1024.0, peak->first / 1024.0);
    else
        std::printf("peak resident memory: the measuring child failed\n");

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::remove_all(large.parent_path(), ignored);
    return 0;
}
