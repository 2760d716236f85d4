#include "StoreLocations.h"

#include "BuildValues.h"
#include "app/core/Console.h"
#include "store/CoreDataController.h"
#include "upload/util/UtilFile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

namespace zirv {

bool makePrivateFolder(const QString& path, QString* error)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    QString current;
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(current);
        if (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST) {
            struct stat info {};
            if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode))
                continue;
            errno = ENOTDIR;
        }
        if (error)
            *error = QStringLiteral("Cannot create folder %1: %2")
                         .arg(current, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

std::optional<QString> sharedContainerPath()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return std::nullopt;
    const QString container = dataHome + QLatin1Char('/') + QString::fromUtf8(build::appGroupId);
    if (!makePrivateFolder(container))
        return std::nullopt;
    return container;
}

int storageAllowance(double diskGiB)
{
    const long long allowance = std::llround(diskGiB / 10.0); // halves away from zero
    return static_cast<int>(std::max(1LL, allowance));
}

bool recordStorageAllowance(QSettings& settings, int allowance)
{
    int stored = settings.value(QStringLiteral("localDataStorageSize"), 0).toInt();
    if (stored == 0)
        stored = 1;
    if (allowance <= stored)
        return false;
    settings.setValue(QStringLiteral("localDataStorageSize"), allowance);
    settings.sync();
    return true;
}

PrepareOutcome prepareStoreLocations(const StoreLocationInputs& inputs, QSettings& settings)
{
    if (!inputs.storeUrl)
        return PrepareOutcome::skipped;
    consoleLine(QStringLiteral("Local data store location is at ") + inputs.storeUrl->toString());
    if (!inputs.sharedContainer) {
        consoleLine(QStringLiteral("Cannot create shared group location"));
        return PrepareOutcome::noSharedContainer;
    }
    consoleLine(QStringLiteral("Shared data store location is at ")
                + QUrl::fromLocalFile(*inputs.sharedContainer + QLatin1Char('/')).toString());
    auto create = [](const QString& path) {
        QString error;
        if (!makePrivateFolder(path, &error))
            consoleLine(error);
    };
    for (const char* name : {"choreography", "audio", "video"})
        create(*inputs.sharedContainer + QLatin1Char('/') + QLatin1String(name));
    create(inputs.documents + QStringLiteral("/reports"));
    recordStorageAllowance(settings, storageAllowance(inputs.diskGiB));
    return PrepareOutcome::done;
}

void prepareStoreLocations()
{
    StoreLocationInputs inputs;
    if (std::shared_ptr<CoreDataController> controller = CoreDataShared::shared().myData())
        inputs.storeUrl = controller->defaultStoreURL();
    if (inputs.storeUrl)
        inputs.sharedContainer = sharedContainerPath();
    inputs.documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    inputs.diskGiB = UtilFile::fileSystemSizeInGB();
    QSettings settings;
    if (prepareStoreLocations(inputs, settings) == PrepareOutcome::noSharedContainer)
        std::exit(1);
}

} // namespace zirv
