#pragma once
// Descriptive metadata of media files: what a reader finds in a file, and the
// rules that turn it into an item's title, artist and album.
//
// Reading (opening and parsing a file) is slow and runs on a worker thread;
// the rules are pure functions, so they are tested without files.

#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace zirv {

// One tag block present in a file, with its own title, artist and album
// fields. A field that is absent or empty is none.
struct MetadataFormat {
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> album;
};

struct AudioMetadata {
    // False when the file could not be opened or parsed as audio.
    bool loaded = false;
    double durationSeconds = 0;
    // In the order the file's tag blocks are reported (for MP3: ID3v2, ID3v1,
    // APE; for M4A: the MP4 item list).
    std::vector<MetadataFormat> formats;
};

struct DocumentAttributes {
    // False when the file is not a readable PDF document.
    bool opened = false;
    std::optional<QString> producer;
    std::optional<QString> creator;
};

// Reads files; safe to call from several threads at once.
class MediaMetadataReader {
public:
    virtual ~MediaMetadataReader() = default;
    virtual AudioMetadata readAudio(const std::filesystem::path& location) const = 0;
    virtual DocumentAttributes readDocument(const std::filesystem::path& location) const = 0;
};

// The reader of the program: TagLib for audio, poppler for PDF documents.
std::shared_ptr<MediaMetadataReader> makeMediaMetadataReader();

inline constexpr auto noAssignedTitle = "NO_ASSIGNED_TITLE";
inline constexpr auto noAssignedArtist = "NO_ASSIGNED_ARTIST";
inline constexpr auto noAssignedAlbum = "NO_ASSIGNED_ALBUM";

struct AudioTexts {
    QString title;
    QString artist;
    QString album;

    friend bool operator==(const AudioTexts&, const AudioTexts&) = default;
};

// The texts of an audio item from its metadata and the suffix text. Formats
// are taken in order and their texts concatenated: each title and artist is
// followed by one space; after each format, empty texts take their defaults
// and the album gets " (suffix)" unless it already contains the suffix (an
// empty suffix never counts as contained). Nothing loaded, or no formats:
// all three empty.
AudioTexts audioTexts(const AudioMetadata& metadata, const QString& suffix);

// The title of a document: its file name without the extension, then
// " (suffix)".
QString documentTitle(const QString& baseName, const QString& suffix);

} // namespace zirv
