#pragma once
// The content fingerprint of an upload item and the name it is stored under.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace zirv {

// SHA-256 of the content in lower-case hexadecimal (64 digits) followed by the
// content's byte count, zero-padded to 16 decimal digits: 80 characters.
QString contentChecksum(QByteArrayView sha256Digest, int64_t size);

struct FileChecksum {
    QString checksum;
    int64_t size = 0;
};

// The checksum of a regular file, streamed in bounded chunks. None when the
// location is not a regular file or cannot be read to its end.
std::optional<FileChecksum> fileChecksum(const std::filesystem::path& location);

// "zirv2" + the 32 upper-case hexadecimal digits of a fresh random UUID + "."
// + the extension as written.
QString storageFileName(std::string_view extension);

} // namespace zirv
