#pragma once
// Helpers shared by the upload engine's tests.

#include "app/core/NotificationHub.h"
#include "app/core/Notifications.h"
#include "upload/ContentCache.h"

#include <QByteArray>

#include <filesystem>
#include <memory>
#include <vector>

namespace zirv::test {

// Counts the "userDataStoreModified" posts of one hub and checks they arrive
// on the main thread.
class ModifiedCounter {
public:
    explicit ModifiedCounter(NotificationHub& hub);
    int count() const { return m_count; }
    bool allOnMainThread() const { return m_allOnMain; }

private:
    int m_count = 0;
    bool m_allOnMain = true;
    NotificationHub::Subscription m_subscription;
};

// Distinct content for each seed.
QByteArray contentOf(int seed, int size = 64);

// The items of a list whose location is `location`.
std::vector<MediaItemRef> itemsAt(const ContentCache& cache, const std::filesystem::path& location);

// A free-standing item in a given state, for the display rows.
MediaItemRef itemIn(ProcessingState state, int64_t size, int64_t mediaType = 0,
                    const std::filesystem::path& location = "/music/a.mp3");

} // namespace zirv::test
