#pragma once
// Where the store and the shared folders live, and the storage allowance
// recorded at start-up.
//
// On this platform: the store file in the application's data folder; the
// application group's shared container is a folder named by the group
// identifier in the user's data home; "reports" in the documents folder.
// Folders are created private to the user (mode 0700).

#include <QSettings>
#include <QString>
#include <QUrl>

#include <optional>

namespace zirv {

// Creates `path` and any missing parents with mode 0700. An existing folder is
// not an error and is left as it is.
bool makePrivateFolder(const QString& path, QString* error = nullptr);

// The application group's shared container, created if missing; none when
// there is no data home or the folder cannot be made.
std::optional<QString> sharedContainerPath();

// diskGiB / 10 rounded half away from zero, at least 1.
int storageAllowance(double diskGiB);
// Writes the allowance under "localDataStorageSize" when it is greater than
// the stored value (absent or 0 counting as 1); answers whether it wrote.
bool recordStorageAllowance(QSettings& settings, int allowance);

struct StoreLocationInputs {
    std::optional<QUrl> storeUrl;           // none: skip everything
    std::optional<QString> sharedContainer; // none: no application-group container
    QString documents;
    double diskGiB = 8;
};

enum class PrepareOutcome { done, skipped, noSharedContainer };

// The steps of the start-up completion with every input given; prints the
// console lines. Does not end the process.
PrepareOutcome prepareStoreLocations(const StoreLocationInputs& inputs, QSettings& settings);

// The start-up completion: runs on the main thread once the store opening has
// reported. Ends the process with status 1 when there is no shared container.
void prepareStoreLocations();

} // namespace zirv
