#pragma once
// SHA-256 and SHA-1, over memory or streamed from a file in bounded chunks.
// Digests are rendered as lower-case hexadecimal, two digits per byte.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace zirv {

enum class DigestAlgorithm { sha1, sha256 };

// Two lower-case hexadecimal digits per byte, no separators.
QString hexString(QByteArrayView bytes);

// SHA-1 of the bytes, as 40 lower-case hexadecimal digits.
QString sha1Hex(QByteArrayView content);

// Incremental digest.
class Digest {
public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void add(const void* data, size_t length);
    void add(QByteArrayView bytes) { add(bytes.data(), static_cast<size_t>(bytes.size())); }
    // The raw digest; the object is spent afterwards.
    QByteArray finish();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

struct FileDigest {
    QByteArray digest; // raw bytes
    int64_t size = 0;  // bytes read
};

struct FileDigestOptions {
    // Stops the read early (the result is then empty) when it becomes true.
    const std::atomic<bool>* cancel = nullptr;
    // Called after each chunk with the bytes read so far.
    std::function<void(int64_t)> progress;
};

// Digest of a regular file's whole content, read in bounded chunks, so memory
// stays flat whatever the file's size. Empty when the path is not a regular
// file or cannot be read to its end (a pipe, a device, a vanished file).
std::optional<FileDigest> digestFile(const std::filesystem::path& path, DigestAlgorithm algorithm,
                                     const FileDigestOptions& options = {});

} // namespace zirv
