#include "MediaTypes.h"

#include <algorithm>

namespace zirv {

namespace {

constexpr std::array<std::string_view, audioExtensions.size() + videoExtensions.size()
                                           + choreographyExtensions.size()>
joinedExtensions()
{
    std::array<std::string_view, audioExtensions.size() + videoExtensions.size()
                                     + choreographyExtensions.size()>
        all{};
    auto out = all.begin();
    out = std::copy(audioExtensions.begin(), audioExtensions.end(), out);
    out = std::copy(videoExtensions.begin(), videoExtensions.end(), out);
    std::copy(choreographyExtensions.begin(), choreographyExtensions.end(), out);
    return all;
}

constexpr auto allExtensions = joinedExtensions();

bool contains(std::span<const std::string_view> list, std::string_view extension)
{
    return std::find(list.begin(), list.end(), extension) != list.end();
}

} // namespace

std::span<const std::string_view> allowedExtensions()
{
    return allExtensions;
}

std::string extensionOf(const std::filesystem::path& location)
{
    const std::string name = location.filename().native();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    return name.substr(dot + 1);
}

std::string baseNameOf(const std::filesystem::path& location)
{
    const std::string name = location.filename().native();
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::optional<int64_t> mediaTypeForExtension(std::string_view extension)
{
    if (contains(audioExtensions, extension))
        return mediaTypeAudio;
    if (contains(videoExtensions, extension))
        return mediaTypeVideo;
    if (contains(choreographyExtensions, extension))
        return mediaTypeChoreography;
    return std::nullopt;
}

bool isAllowedExtension(std::string_view extension, std::span<const std::string_view> allowed)
{
    return contains(allowed, extension);
}

QString mediaTypeIcons(int64_t mediaType)
{
    switch (mediaType) {
    case mediaTypeAudio: return QStringLiteral("music.note");
    case mediaTypeVideo: return QStringLiteral("tv");
    case mediaTypeChoreography: return QStringLiteral("list.bullet.rectangle.portrait");
    default: return QStringLiteral("music.note.tv");
    }
}

} // namespace zirv
