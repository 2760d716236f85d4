#include "UtilFile.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <sys/statvfs.h>

namespace zirv {

double UtilFile::gibibytesOrDefault(std::optional<uint64_t> totalBytes)
{
    if (!totalBytes)
        return 8;
    return static_cast<double>(*totalBytes / 1073741824ULL);
}

double UtilFile::fileSystemSizeInGB()
{
    const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    if (folders.isEmpty())
        return gibibytesOrDefault(std::nullopt);
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folders.last()).constData(), &info) != 0 || info.f_blocks == 0)
        return gibibytesOrDefault(std::nullopt);
    return gibibytesOrDefault(static_cast<uint64_t>(info.f_blocks) * info.f_frsize);
}

} // namespace zirv
