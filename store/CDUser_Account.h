#pragma once
// The account record: at most one User_Account in the store, holding the
// access token and the account's details.

#include "store/CoreDataController.h"
#include "store/EntityModel.h"

#include <QUuid>

#include <optional>

namespace zirv {

// The token that means "nobody is logged in".
inline const QUuid noUserAccessToken {QStringLiteral("5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95")};

struct AccountValues {
    QDateTime whenCreated;
    QDateTime subscriptionExpiry;
    int32_t indicatorFlag = 0;
    QString email;
    float totalDataStored = 0;
    float totalPaid = 0;
    QString userName;
    QString userNamePublic;
    QString userMobile;
    int32_t status = 0;
    int64_t updateRecord = 0;
};

class CDUser_Account {
public:
    // The token of the first account record; the no-user token when there is
    // no record or the fetch fails; none when the record holds no token.
    std::optional<QUuid> currentAccessToken(StoreContext& context) const;
    std::optional<User_Account> currentAccount(StoreContext& context) const;

    // Creates or overwrites the record, token included, and saves.
    bool storeAccount(StoreContext& context, const std::optional<QUuid>& accessToken,
                      const AccountValues& values) const;
    // Overwrites everything but the token; with no record answers true and
    // writes nothing.
    bool updateAccount(StoreContext& context, const AccountValues& values) const;
    std::optional<int64_t> latestUpdateRecord(StoreContext& context) const;

    // The values log-out writes.
    static AccountValues loggedOutValues();
};

} // namespace zirv
