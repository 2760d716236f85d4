#pragma once
// The logged-in test and the version texts sent with a new account.

#include "store/CoreDataController.h"

#include <QString>

namespace zirv {

class UtilUserDefaults {
public:
    // False without an account record, with a record holding no token and
    // with the logged-out record.
    static bool isUserLoggedIn(StoreContext& context);

    // "<version>.<build number>", e.g. 2.1.37; empty when either is missing.
    static QString appVersionString();
    static QString versionString(const QString& version, const QString& buildNumber);

    // The running system's major and minor version, e.g. "12.0".
    static QString osVersionString();
    static QString majorMinor(const QString& version);
};

} // namespace zirv
