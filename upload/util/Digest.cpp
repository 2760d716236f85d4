#include "Digest.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zirv {

struct Digest::Context {
    EVP_MD_CTX* md = nullptr;
    ~Context() { EVP_MD_CTX_free(md); }
};

Digest::Digest(DigestAlgorithm algorithm)
    : m_context(std::make_unique<Context>())
{
    m_context->md = EVP_MD_CTX_new();
    EVP_DigestInit_ex(m_context->md, algorithm == DigestAlgorithm::sha1 ? EVP_sha1() : EVP_sha256(),
                      nullptr);
}

Digest::~Digest() = default;

void Digest::add(const void* data, size_t length)
{
    EVP_DigestUpdate(m_context->md, data, length);
}

QByteArray Digest::finish()
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->md, out, &length);
    return QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(length));
}

QString hexString(QByteArrayView bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    QString text(bytes.size() * 2, Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = QLatin1Char(digits[byte >> 4]);
        *out++ = QLatin1Char(digits[byte & 0x0f]);
    }
    return text;
}

QString sha1Hex(QByteArrayView content)
{
    Digest digest(DigestAlgorithm::sha1);
    digest.add(content);
    return hexString(digest.finish());
}

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

constexpr size_t chunkSize = 1 << 20;
// Files above this size are read on a second thread while this one hashes.
constexpr int64_t overlapThreshold = 4 * static_cast<int64_t>(chunkSize);
constexpr size_t bufferCount = 3;

// Chunk buffers kept between files: allocating and faulting in fresh ones for
// every file costs as much as hashing a few megabytes. At most `kept` stay.
class ChunkBuffer {
public:
    ChunkBuffer()
        : m_data(take())
    {
    }
    ~ChunkBuffer() { give(std::move(m_data)); }
    ChunkBuffer(const ChunkBuffer&) = delete;
    ChunkBuffer& operator=(const ChunkBuffer&) = delete;

    char* data() const { return m_data.get(); }

private:
    static constexpr size_t kept = 8;
    // Never destroyed, so a digest still running while the process exits
    // finds its pool in place.
    static std::mutex& poolMutex()
    {
        static auto* mutex = new std::mutex;
        return *mutex;
    }
    static std::vector<std::unique_ptr<char[]>>& pool()
    {
        static auto* buffers = new std::vector<std::unique_ptr<char[]>>;
        return *buffers;
    }
    static std::unique_ptr<char[]> take()
    {
        {
            const std::lock_guard lock(poolMutex());
            if (!pool().empty()) {
                auto buffer = std::move(pool().back());
                pool().pop_back();
                return buffer;
            }
        }
        // Not zeroed: every byte handed out is first read into.
        return std::make_unique_for_overwrite<char[]>(chunkSize);
    }
    static void give(std::unique_ptr<char[]> buffer)
    {
        const std::lock_guard lock(poolMutex());
        if (pool().size() < kept)
            pool().push_back(std::move(buffer));
    }

    std::unique_ptr<char[]> m_data;
};

// Reads one chunk; -1 on an error other than an interruption.
ssize_t readChunk(int fd, char* data, size_t size)
{
    for (;;) {
        const ssize_t got = ::read(fd, data, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool cancelled(const FileDigestOptions& options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

std::optional<FileDigest> digestSequentially(int fd, DigestAlgorithm algorithm,
                                             const FileDigestOptions& options)
{
    Digest digest(algorithm);
    const ChunkBuffer buffer;
    int64_t total = 0;
    for (;;) {
        if (cancelled(options))
            return std::nullopt;
        const ssize_t got = readChunk(fd, buffer.data(), chunkSize);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        digest.add(buffer.data(), static_cast<size_t>(got));
        total += got;
        if (options.progress)
            options.progress(total);
    }
    return FileDigest{digest.finish(), total};
}

// A reader thread fills a small ring of buffers while the calling thread
// hashes the ones already filled, so reading (a copy out of the page cache, or
// the disk) overlaps hashing. Memory stays at bufferCount chunks.
class OverlappedReader {
public:
    explicit OverlappedReader(int fd)
        : m_fd(fd)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~OverlappedReader()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    OverlappedReader(const OverlappedReader&) = delete;
    OverlappedReader& operator=(const OverlappedReader&) = delete;

    enum class Next { chunk, end, failed };

    // Waits for the next filled chunk; hand it back with release().
    Next next(const char*& data, size_t& size)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_filled > m_hashed || m_finished || m_failed; });
        if (m_filled > m_hashed) {
            const Slot& slot = m_slots[m_hashed % bufferCount];
            data = slot.data.data();
            size = slot.size;
            return Next::chunk;
        }
        return m_failed ? Next::failed : Next::end;
    }

    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            ++m_hashed;
        }
        m_changed.notify_all();
    }

private:
    struct Slot {
        ChunkBuffer data;
        size_t size = 0;
    };

    void run()
    {
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_filled - m_hashed < bufferCount; });
                if (m_stop)
                    return;
                index = m_filled % bufferCount;
            }
            // The slot is ours until m_filled moves past it.
            Slot& slot = m_slots[index];
            const ssize_t got = readChunk(m_fd, slot.data.data(), chunkSize);
            {
                const std::lock_guard lock(m_mutex);
                if (got < 0)
                    m_failed = true;
                else if (got == 0)
                    m_finished = true;
                else {
                    slot.size = static_cast<size_t>(got);
                    ++m_filled;
                }
            }
            m_changed.notify_all();
            if (got <= 0)
                return;
        }
    }

    const int m_fd;
    std::array<Slot, bufferCount> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_filled = 0;
    uint64_t m_hashed = 0;
    bool m_finished = false;
    bool m_failed = false;
    bool m_stop = false;
    std::thread m_thread;
};

std::optional<FileDigest> digestOverlapped(int fd, DigestAlgorithm algorithm,
                                           const FileDigestOptions& options)
{
    Digest digest(algorithm);
    int64_t total = 0;
    // The first chunk is read here: the reader thread starts while it is
    // hashed, so neither its start nor its first read is waited for.
    const ChunkBuffer first;
    const ssize_t firstSize = readChunk(fd, first.data(), chunkSize);
    if (firstSize < 0)
        return std::nullopt;
    if (firstSize == 0)
        return FileDigest{digest.finish(), 0};
    OverlappedReader reader(fd);
    digest.add(first.data(), static_cast<size_t>(firstSize));
    total += firstSize;
    if (options.progress)
        options.progress(total);
    for (;;) {
        if (cancelled(options))
            return std::nullopt;
        const char* data = nullptr;
        size_t size = 0;
        const OverlappedReader::Next next = reader.next(data, size);
        if (next == OverlappedReader::Next::failed)
            return std::nullopt;
        if (next == OverlappedReader::Next::end)
            break;
        digest.add(data, size);
        reader.release();
        total += static_cast<int64_t>(size);
        if (options.progress)
            options.progress(total);
    }
    return FileDigest{digest.finish(), total};
}

} // namespace

std::optional<FileDigest> digestFile(const std::filesystem::path& path, DigestAlgorithm algorithm,
                                     const FileDigestOptions& options)
{
    // O_NONBLOCK: opening a named pipe must not wait for a writer.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // The size only picks the method; either reads to the end, whatever the
    // file holds by then.
    if (info.st_size > overlapThreshold)
        return digestOverlapped(file.get(), algorithm, options);
    return digestSequentially(file.get(), algorithm, options);
}

} // namespace zirv
