// Intake throughput: how fast dropped files become items (read + SHA-256),
// against OpenSSL's own SHA-256 speed over memory measured in the same run,
// and the peak memory while one large file is taken.
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
constexpr int repeats = 3;

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

// OpenSSL's SHA-256 over an in-memory buffer, in 1 MiB updates: best of runs.
double opensslSha256Speed(int64_t totalBytes)
{
    std::vector<unsigned char> buffer(64 * MiB);
    std::mt19937_64 random(1);
    for (auto& byte : buffer)
        byte = static_cast<unsigned char>(random());
    double best = 0;
    for (int run = 0; run < repeats; ++run) {
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
        const auto start = Clock::now();
        for (int64_t done = 0; done < totalBytes; done += MiB)
            EVP_DigestUpdate(context, buffer.data() + (done % static_cast<int64_t>(buffer.size())), MiB);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context, digest, &length);
        best = std::max(best, megabytesPerSecond(totalBytes, seconds(Clock::now() - start)));
        EVP_MD_CTX_free(context);
    }
    return best;
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

// Sets the peak resident size (VmHWM) back to the current one.
bool resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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

    const double baseline = opensslSha256Speed(largeFileSize);
    std::printf("OpenSSL SHA-256 over memory (EVP, 1 MiB updates): %8.1f MB/s\n", baseline);

    zirv::NotificationHub hub;
    const int64_t folderBytes = folderFiles * folderFileSize;
    double folderBest = 0;
    for (int run = 0; run < repeats; ++run) {
        zirv::ContentCache cache(hub);
        const auto start = Clock::now();
        cache.addMediaFolder(folder);
        const double secs = seconds(Clock::now() - start);
        if (cache.mediaItemsList.count() != static_cast<size_t>(folderFiles)) {
            std::fprintf(stderr, "expected %d items, got %zu\n", folderFiles, cache.mediaItemsList.count());
            return 1;
        }
        folderBest = std::max(folderBest, megabytesPerSecond(folderBytes, secs));
    }
    std::printf("intake, folder of %d files of 5 MB:  %8.1f MB/s   ratio to OpenSSL %.3f\n", folderFiles,
                folderBest, folderBest / baseline);

    double largeBest = 0;
    long peakKiB = 0;
    long beforeKiB = 0;
    const bool peakKnown = resetPeakResident();
    for (int run = 0; run < repeats; ++run) {
        zirv::ContentCache cache(hub);
        resetPeakResident();
        beforeKiB = statusKiB("VmRSS");
        const auto start = Clock::now();
        cache.addMediaFile(large);
        const double secs = seconds(Clock::now() - start);
        peakKiB = std::max(peakKiB, statusKiB("VmHWM"));
        if (cache.mediaItemsList.count() != 1) {
            std::fprintf(stderr, "the large file gave no item\n");
            return 1;
        }
        largeBest = std::max(largeBest, megabytesPerSecond(largeFileSize, secs));
    }
    std::printf("intake, one file of 1 GiB:             %8.1f MB/s   ratio to OpenSSL %.3f\n", largeBest,
                largeBest / baseline);
    if (peakKnown)
        std::printf("peak resident memory during the 1 GiB intake: %.1f MiB (%.1f MiB above the %.1f MiB "
                    "before it)\n",
                    peakKiB / 1024.0, (peakKiB - beforeKiB) / 1024.0, beforeKiB / 1024.0);
    else
        std::printf("peak resident memory: not measurable (/proc/self/clear_refs not writable)\n");

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::remove_all(large.parent_path(), ignored);
    return 0;
}
