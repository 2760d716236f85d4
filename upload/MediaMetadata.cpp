#include "MediaMetadata.h"

namespace zirv {

namespace {

void appendFormat(AudioTexts& texts, const MetadataFormat& format, const QString& suffix)
{
    if (format.title)
        texts.title += *format.title + QLatin1Char(' ');
    if (format.artist)
        texts.artist += *format.artist + QLatin1Char(' ');
    if (format.album)
        texts.album += *format.album;

    if (texts.title.isEmpty())
        texts.title = QLatin1String(noAssignedTitle);
    if (texts.artist.isEmpty())
        texts.artist = QLatin1String(noAssignedArtist);
    if (texts.album.isEmpty())
        texts.album = QLatin1String(noAssignedAlbum);

    // QString::contains("") is true; an empty suffix is deliberately never
    // taken as contained, so it still adds " ()".
    if (suffix.isEmpty() || !texts.album.contains(suffix))
        texts.album += QStringLiteral(" (") + suffix + QLatin1Char(')');
}

} // namespace

AudioTexts audioTexts(const AudioMetadata& metadata, const QString& suffix)
{
    AudioTexts texts;
    if (!metadata.loaded)
        return texts;
    for (const MetadataFormat& format : metadata.formats)
        appendFormat(texts, format, suffix);
    return texts;
}

QString documentTitle(const QString& baseName, const QString& suffix)
{
    return baseName + QStringLiteral(" (") + suffix + QLatin1Char(')');
}

} // namespace zirv
