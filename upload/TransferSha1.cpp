#include "TransferSha1.h"

#include "upload/util/Digest.h"

#include <QThreadPool>

#include <sys/stat.h>

namespace zirv {

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& location)
{
    struct stat status {};
    if (::stat(location.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const auto ns = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                        static_cast<int64_t>(status.st_size), ns(status.st_mtim), ns(status.st_ctim)};
}

namespace {

QString freshSha1(const std::filesystem::path& location, const std::atomic<bool>* stopping)
{
    FileDigestOptions options;
    options.cancel = stopping;
    const std::optional<FileDigest> digest = digestFile(location, DigestAlgorithm::sha1, options);
    return digest ? hexString(digest->digest) : QString();
}

} // namespace

TransferSha1::TransferSha1(std::filesystem::path location, std::shared_ptr<std::atomic<bool>> stopping)
    : m_location(std::move(location))
    , m_stopping(std::move(stopping))
{
}

std::shared_ptr<TransferSha1> TransferSha1::start(QThreadPool& pool, std::filesystem::path location,
                                                  std::shared_ptr<std::atomic<bool>> stopping)
{
    std::shared_ptr<TransferSha1> prepared(new TransferSha1(std::move(location), std::move(stopping)));
    pool.start([prepared] {
        if (prepared->claim())
            prepared->read();
    });
    return prepared;
}

bool TransferSha1::claim()
{
    bool expected = false;
    return m_claimed.compare_exchange_strong(expected, true);
}

void TransferSha1::read()
{
    const std::optional<FileIdentity> before = fileIdentity(m_location);
    const QString sha1 = before ? freshSha1(m_location, m_stopping.get()) : QString();
    const std::optional<FileIdentity> after = fileIdentity(m_location);
    std::function<void(QString)> use;
    {
        const std::lock_guard lock(m_mutex);
        if (!sha1.isEmpty() && before == after) {
            m_sha1 = sha1;
            m_identity = *after;
        }
        m_finished = true;
        use = std::move(m_use);
    }
    if (use)
        deliver(use);
}

void TransferSha1::whenReady(QThreadPool& pool, std::function<void(QString)> use)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_finished) {
            m_use = std::move(use);
            // Still queued: read it now rather than after the files before it.
            if (claim())
                pool.start([self = shared_from_this()] { self->read(); });
            return;
        }
    }
    pool.start([self = shared_from_this(), use = std::move(use)] { self->deliver(use); });
}

void TransferSha1::deliver(const std::function<void(QString)>& use) const
{
    std::optional<QString> prepared;
    FileIdentity identity;
    {
        const std::lock_guard lock(m_mutex);
        prepared = m_sha1;
        identity = m_identity;
    }
    if (prepared && fileIdentity(m_location) != identity)
        prepared.reset();
    if (m_stopping->load()) {
        use(QString());
        return;
    }
    use(prepared ? *prepared : freshSha1(m_location, m_stopping.get()));
}

} // namespace zirv
