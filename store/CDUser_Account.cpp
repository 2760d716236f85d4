#include "CDUser_Account.h"

#include "store/CDAccess.h"

namespace zirv {

namespace {

const std::string& selectAccount()
{
    static const std::string sql = access::sqlFor(User_Account::decl()).select + " ORDER BY id LIMIT 1";
    return sql;
}

// Writes the record in one transaction; `token` is written only when set.
bool writeAccount(StoreContext& context, const std::optional<std::optional<QUuid>>& token,
                  const AccountValues& values, bool mayCreate)
{
    sql::Database* db = context.database();
    if (!db)
        return false;
    sql::Transaction tx(*db);
    if (!tx.isActive())
        return false;
    std::optional<int64_t> id;
    {
        sql::Statement find = db->prepare("SELECT id FROM User_Account ORDER BY id LIMIT 1");
        switch (find.step()) {
        case sql::Statement::Step::row:
            id = find.int64(0);
            break;
        case sql::Statement::Step::done:
            break;
        case sql::Statement::Step::error:
            return false;
        }
    }
    if (!id && !mayCreate)
        return true; // nothing to update; nothing saved
    const char* sql = id
        ? (token ? "UPDATE User_Account SET whenCreated = ?1, subscriptionExpiry = ?2, indicatorFlag = ?3, "
                   "email = ?4, userName = ?5, userNamePublic = ?6, userMobile = ?7, totalDataStored = ?8, "
                   "totalPaid = ?9, status = ?10, updateRecord = ?11, accessToken = ?12 WHERE id = ?13"
                 : "UPDATE User_Account SET whenCreated = ?1, subscriptionExpiry = ?2, indicatorFlag = ?3, "
                   "email = ?4, userName = ?5, userNamePublic = ?6, userMobile = ?7, totalDataStored = ?8, "
                   "totalPaid = ?9, status = ?10, updateRecord = ?11 WHERE id = ?13")
        : "INSERT INTO User_Account (whenCreated, subscriptionExpiry, indicatorFlag, email, userName, "
          "userNamePublic, userMobile, totalDataStored, totalPaid, status, updateRecord, accessToken) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";
    {
        sql::Statement stmt = db->prepare(sql);
        if (!stmt.isValid())
            return false;
        stmt.bind(1, values.whenCreated);
        stmt.bind(2, values.subscriptionExpiry);
        stmt.bind(3, int64_t {values.indicatorFlag});
        stmt.bind(4, values.email);
        stmt.bind(5, values.userName);
        stmt.bind(6, values.userNamePublic);
        stmt.bind(7, values.userMobile);
        stmt.bind(8, double {values.totalDataStored});
        stmt.bind(9, double {values.totalPaid});
        stmt.bind(10, int64_t {values.status});
        stmt.bind(11, values.updateRecord);
        if (token && *token)
            stmt.bind(12, **token);
        else
            stmt.bindNull(12);
        if (id)
            stmt.bind(13, *id);
        if (!stmt.run())
            return false;
    }
    return tx.commit();
}

} // namespace

std::optional<User_Account> CDUser_Account::currentAccount(StoreContext& context) const
{
    std::optional<User_Account> account;
    access::fetchRows(context, selectAccount(), {}, [&](sql::Statement& s) {
        User_Account record;
        access::readRow(s, fieldRefs(record));
        account = std::move(record);
    });
    return account;
}

std::optional<QUuid> CDUser_Account::currentAccessToken(StoreContext& context) const
{
    const std::optional<User_Account> account = currentAccount(context);
    if (!account)
        return noUserAccessToken;
    return account->accessToken;
}

bool CDUser_Account::storeAccount(StoreContext& context, const std::optional<QUuid>& accessToken,
                                  const AccountValues& values) const
{
    return writeAccount(context, accessToken, values, true);
}

bool CDUser_Account::updateAccount(StoreContext& context, const AccountValues& values) const
{
    return writeAccount(context, std::nullopt, values, false);
}

std::optional<int64_t> CDUser_Account::latestUpdateRecord(StoreContext& context) const
{
    std::optional<int64_t> marker;
    access::fetchRows(context, "SELECT updateRecord FROM User_Account ORDER BY updateRecord DESC LIMIT 1", {},
                      [&](sql::Statement& s) { marker = s.isNull(0) ? 0 : s.int64(0); });
    return marker;
}

AccountValues CDUser_Account::loggedOutValues()
{
    AccountValues values;
    values.whenCreated = distantPast();
    values.subscriptionExpiry = distantPast();
    values.indicatorFlag = 0;
    values.email = QStringLiteral("QW8653");
    values.totalDataStored = 0;
    values.totalPaid = 0;
    values.userName = QStringLiteral("");
    values.userNamePublic = QStringLiteral("");
    values.userMobile = QStringLiteral("");
    values.status = 1;
    values.updateRecord = 0;
    return values;
}

} // namespace zirv
