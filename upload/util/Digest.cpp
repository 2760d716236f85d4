#include "Digest.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

    Digest digest(algorithm);
    std::vector<char> buffer(chunkSize);
    int64_t total = 0;
    for (;;) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            return std::nullopt;
        const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        digest.add(buffer.data(), static_cast<size_t>(got));
        total += got;
        if (options.progress)
            options.progress(total);
    }
    return FileDigest{digest.finish(), total};
}

} // namespace zirv
