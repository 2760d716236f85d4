#pragma once
// The SHA-1 a transfer declares for its file, read on a worker thread ahead of
// the transfer (while the item is still obtaining its storage authorisation,
// bucket and upload target), so that the transfer of a large file need not
// wait for a whole pass over it.
//
// The digest is kept with the identity of the file it was read from (device,
// inode, size, modification and change times, the same before and after the
// read). When the transfer asks for it and the file is no longer the same, the
// file is read again. The storage service checks the declared SHA-1 against
// the bytes it receives, so even a change the identity misses can only make
// it refuse the transfer, never store a wrong file.

#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThreadPool;

namespace zirv {

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of a regular file (following links); none for anything else.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& location);

class TransferSha1 : public std::enable_shared_from_this<TransferSha1> {
public:
    // Starts reading `location` on `pool`, which must outlive the work (the
    // owner waits for it). `stopping` ends the read early.
    static std::shared_ptr<TransferSha1> start(QThreadPool& pool, std::filesystem::path location,
                                               std::shared_ptr<std::atomic<bool>> stopping);

    // Calls `use` once, on a worker thread, with the file's SHA-1 as 40
    // lower-case hexadecimal digits: the prepared one while the file is
    // unchanged, else a fresh one. Empty when the file cannot be read to its
    // end, or when stopping. A read still queued behind other files is taken
    // over and done on `pool` (which must outlive the work), as is the
    // delivery of a digest already known.
    void whenReady(QThreadPool& pool, std::function<void(QString)> use);

private:
    TransferSha1(std::filesystem::path location, std::shared_ptr<std::atomic<bool>> stopping);
    // True for the one caller that is to do the read.
    bool claim();
    void read();
    void deliver(const std::function<void(QString)>& use) const;

    const std::filesystem::path m_location;
    const std::shared_ptr<std::atomic<bool>> m_stopping;

    std::atomic<bool> m_claimed{false};
    mutable std::mutex m_mutex;
    bool m_finished = false;
    std::optional<QString> m_sha1; // set when the file stayed the same throughout the read
    FileIdentity m_identity;
    std::function<void(QString)> m_use;
};

} // namespace zirv
