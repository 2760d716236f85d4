// Intake: dropped files and folders become upload items.

#include "ContentCache.h"

#include "app/core/Console.h"
#include "upload/Checksum.h"
#include "upload/MediaTypes.h"

#include <QFile>

#include <system_error>

namespace zirv {

void ContentCache::addMediaFile(const std::filesystem::path& location)
{
    // The extension is tested before the content is read: a file that would
    // be refused costs no read.
    const std::string extension = extensionOf(location);
    const auto mediaType = mediaTypeForExtension(extension);
    if (!mediaType)
        return;

    // Streamed in bounded chunks; none for anything but a readable regular
    // file (a pipe named x.mp3 is refused without waiting for a writer).
    const auto checksum = fileChecksum(location);
    if (!checksum)
        return;

    auto item = std::make_shared<mediaItemStatus>();
    item->uniqueId = checksum->checksum;
    item->checksum = checksum->checksum;
    item->fileLocation = location;
    item->size = checksum->size;
    item->mediaType = *mediaType;
    item->backblazeFileName = storageFileName(extension);

    // The duplicate test and the append are one step under the write lock, so
    // equal content dropped on several threads at once still gives one item.
    const bool added = mediaItemsList.appendUnless(
        [&](const MediaItemRef& existing) { return existing->checksum == item->checksum; }, item);
    if (added)
        announceModified();
}

void ContentCache::addMediaFolder(const std::filesystem::path& location)
{
    for (const std::filesystem::path& file : collectMediaFiles(location, allowedExtensions()))
        addMediaFile(file);
}

std::vector<std::filesystem::path>
ContentCache::collectMediaFiles(const std::filesystem::path& folder,
                                std::span<const std::string_view> allowedExtensions)
{
    std::vector<std::filesystem::path> subFolders;
    std::vector<std::filesystem::path> files;

    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::directory_entry& entry = *it;
        std::error_code typeError;
        // The link itself, not its target: a link to a folder is never
        // descended into, so a link to the folder itself or a parent ends.
        if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
            subFolders.push_back(entry.path());
            continue;
        }
        if (!isAllowedExtension(extensionOf(entry.path()), allowedExtensions))
            continue;
        // Only regular files (a link to one included) become items.
        if (entry.is_regular_file(typeError))
            files.push_back(entry.path());
    }
    if (error) {
        consoleLine(QStringLiteral("Unable to list the folder ") + QFile::decodeName(folder.c_str())
                    + QStringLiteral(": ") + QString::fromLocal8Bit(error.message()));
        return {};
    }

    std::vector<std::filesystem::path> collected;
    for (const std::filesystem::path& subFolder : subFolders) {
        std::vector<std::filesystem::path> below = collectMediaFiles(subFolder, allowedExtensions);
        collected.insert(collected.end(), std::make_move_iterator(below.begin()),
                         std::make_move_iterator(below.end()));
    }
    collected.insert(collected.end(), std::make_move_iterator(files.begin()),
                     std::make_move_iterator(files.end()));
    return collected;
}

} // namespace zirv
