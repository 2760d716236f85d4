#pragma once
// The kinds of media the engine takes, the file extensions that select them,
// and the icon each shows with.

#include <QString>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zirv {

// Values of mediaItemStatus::mediaType.
inline constexpr int64_t mediaTypeAudio = 0;
inline constexpr int64_t mediaTypeVideo = 1;
inline constexpr int64_t mediaTypeChoreography = 2;

// Accepted extensions, matched exactly (letter case included).
inline constexpr std::array<std::string_view, 2> audioExtensions{"mp3", "m4a"};
inline constexpr std::span<const std::string_view> videoExtensions{};
inline constexpr std::array<std::string_view, 1> choreographyExtensions{"pdf"};

// The three lists joined: audio, then video, then choreography notes.
std::span<const std::string_view> allowedExtensions();

// The text after the last dot of the location's last component ("" without a
// dot). Works on the raw bytes, so names that are not UTF-8 are fine.
std::string extensionOf(const std::filesystem::path& location);

// The last component without its extension (the text before its last dot).
std::string baseNameOf(const std::filesystem::path& location);

// The media type an extension selects, or none when no list holds it.
std::optional<int64_t> mediaTypeForExtension(std::string_view extension);

bool isAllowedExtension(std::string_view extension, std::span<const std::string_view> allowed);

// The symbol image name of a media type ("music.note.tv" for any other code).
QString mediaTypeIcons(int64_t mediaType);

} // namespace zirv
