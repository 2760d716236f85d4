#include "Checksum.h"

#include "upload/util/Digest.h"

#include <QUuid>

namespace zirv {

QString contentChecksum(QByteArrayView sha256Digest, int64_t size)
{
    return hexString(sha256Digest) + QStringLiteral("%1").arg(size, 16, 10, QLatin1Char('0'));
}

std::optional<FileChecksum> fileChecksum(const std::filesystem::path& location)
{
    const auto digest = digestFile(location, DigestAlgorithm::sha256);
    if (!digest)
        return std::nullopt;
    return FileChecksum{contentChecksum(digest->digest, digest->size), digest->size};
}

QString storageFileName(std::string_view extension)
{
    // Id128 is the UUID's 32 hexadecimal digits without braces or dashes.
    return QStringLiteral("zirv2") + QUuid::createUuid().toString(QUuid::Id128).toUpper()
        + QLatin1Char('.') + QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
}

} // namespace zirv
