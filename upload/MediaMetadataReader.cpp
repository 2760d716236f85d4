// The program's metadata reader: TagLib for MP3 and M4A, poppler for PDF.

#include "MediaMetadata.h"
#include "MediaTypes.h"

#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <optional>

namespace zirv {

namespace {

// Neither library should write to our standard error: damaged files are
// expected input here, not something to report.
class QuietTagLibListener final : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

void ignorePopplerMessage(const std::string&, void*) {}

void silenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static QuietTagLibListener listener;
        TagLib::setDebugListener(&listener);
        poppler::set_debug_error_function(ignorePopplerMessage, nullptr);
    });
}

std::optional<QString> textOf(const TagLib::String& value)
{
    if (value.isEmpty())
        return std::nullopt;
    const std::string utf8 = value.to8Bit(true);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

MetadataFormat formatOf(const TagLib::Tag& tag)
{
    return MetadataFormat{textOf(tag.title()), textOf(tag.artist()), textOf(tag.album())};
}

// Opens a regular file for reading without ever waiting: a named pipe or a
// device is refused instead of blocking the reader. The stream owns the
// descriptor.
std::unique_ptr<TagLib::FileStream> openRegularFile(const std::filesystem::path& location)
{
    const int fd = ::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto stream = std::make_unique<TagLib::FileStream>(fd, true);
    if (!stream->isOpen()) {
        // fdopen failed, so the descriptor is still ours.
        ::close(fd);
        return nullptr;
    }
    return stream;
}

double durationOf(const TagLib::File& file)
{
    const TagLib::AudioProperties* properties = file.audioProperties();
    return properties ? properties->lengthInMilliseconds() / 1000.0 : 0.0;
}

AudioMetadata readMpeg(TagLib::FileStream& stream)
{
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true);
    AudioMetadata metadata;
    if (!file.isValid())
        return metadata;
    metadata.loaded = true;
    metadata.durationSeconds = durationOf(file);
    if (file.hasID3v2Tag())
        metadata.formats.push_back(formatOf(*file.ID3v2Tag()));
    if (file.hasID3v1Tag())
        metadata.formats.push_back(formatOf(*file.ID3v1Tag()));
    if (file.hasAPETag())
        metadata.formats.push_back(formatOf(*file.APETag()));
    return metadata;
}

AudioMetadata readMp4(TagLib::FileStream& stream)
{
    TagLib::MP4::File file(&stream, true);
    AudioMetadata metadata;
    if (!file.isValid())
        return metadata;
    metadata.loaded = true;
    metadata.durationSeconds = durationOf(file);
    if (file.hasMP4Tag())
        metadata.formats.push_back(formatOf(*file.tag()));
    return metadata;
}

std::optional<QString> attributeOf(const poppler::document& document, const std::string& key)
{
    // info_key() answers an empty text for an absent or non-text value.
    const poppler::ustring value = document.info_key(key);
    if (value.empty())
        return std::nullopt;
    const poppler::byte_array utf8 = value.to_utf8();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

class LibraryMetadataReader final : public MediaMetadataReader {
public:
    LibraryMetadataReader() { silenceLibraries(); }

    AudioMetadata readAudio(const std::filesystem::path& location) const override
    {
        const auto stream = openRegularFile(location);
        if (!stream)
            return {};
        if (extensionOf(location) == "m4a")
            return readMp4(*stream);
        return readMpeg(*stream);
    }

    DocumentAttributes readDocument(const std::filesystem::path& location) const override
    {
        std::error_code error;
        if (!std::filesystem::is_regular_file(location, error))
            return {};
        // poppler keeps process-wide state; one document at a time.
        const std::lock_guard lock(m_popplerMutex);
        const std::unique_ptr<poppler::document> document(
            poppler::document::load_from_file(location.native()));
        if (!document)
            return {};
        return DocumentAttributes{true, attributeOf(*document, "Producer"),
                                  attributeOf(*document, "Creator")};
    }

private:
    mutable std::mutex m_popplerMutex;
};

} // namespace

std::shared_ptr<MediaMetadataReader> makeMediaMetadataReader()
{
    return std::make_shared<LibraryMetadataReader>();
}

} // namespace zirv
