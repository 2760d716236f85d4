// The account record and the logged-in test.

#include "StoreFixture.h"

#include "store/CDUser_Account.h"
#include "store/UtilUserDefaults.h"

#include <QRegularExpression>

namespace zirv::test {
namespace {

class AccountTest : public StoreFixture {
protected:
    CDUser_Account accounts;
};

AccountValues someone()
{
    AccountValues values;
    values.email = QStringLiteral("jo@example.com");
    values.whenCreated = QDateTime(QDate(2023, 5, 1), QTime(9, 0), Qt::UTC);
    values.totalDataStored = 1.5f;
    values.userName = QStringLiteral("Jö");
    values.status = 1;
    values.updateRecord = 12;
    return values;
}

TEST_F(AccountTest, FreshStoreAnswersTheNoUserTokenAndIsLoggedOut)
{
    EXPECT_EQ(accounts.currentAccessToken(context()), noUserAccessToken);
    EXPECT_EQ(noUserAccessToken.toString(QUuid::WithoutBraces).toUpper(),
              QStringLiteral("5D2A9C41-E7B3-4F60-9A18-3C6E0B7D2F95"));
    EXPECT_FALSE(UtilUserDefaults::isUserLoggedIn(context()));
    EXPECT_FALSE(accounts.currentAccount(context()));
    EXPECT_FALSE(accounts.latestUpdateRecord(context()));
}

TEST_F(AccountTest, UpdateOnAFreshStoreAnswersTrueAndCreatesNothing)
{
    EXPECT_TRUE(accounts.updateAccount(context(), someone()));
    EXPECT_FALSE(accounts.currentAccount(context()));
}

struct TokenCase {
    const char* name;
    std::optional<QUuid> token;
    bool loggedIn;
};
void PrintTo(const TokenCase& c, std::ostream* out)
{
    *out << c.name;
}
class LoggedInTest : public AccountTest, public ::testing::WithParamInterface<TokenCase> {};
TEST_P(LoggedInTest, FollowsTheStoredToken)
{
    ASSERT_TRUE(accounts.storeAccount(context(), GetParam().token, someone()));
    EXPECT_EQ(UtilUserDefaults::isUserLoggedIn(context()), GetParam().loggedIn);
    EXPECT_EQ(accounts.currentAccessToken(context()), GetParam().token);
}
INSTANTIATE_TEST_SUITE_P(Tokens, LoggedInTest,
    ::testing::Values(TokenCase {"backendToken", QUuid::createUuid(), true},
                      TokenCase {"absent", std::nullopt, false},
                      TokenCase {"noUser", noUserAccessToken, false},
                      TokenCase {"zero", QUuid(), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AccountTest, LogOutOverwritesTheOneRecord)
{
    const QUuid token = QUuid::createUuid();
    ASSERT_TRUE(accounts.storeAccount(context(), token, someone()));
    EXPECT_EQ(accounts.latestUpdateRecord(context()), 12);
    ASSERT_TRUE(accounts.storeAccount(context(), noUserAccessToken, CDUser_Account::loggedOutValues()));
    const auto account = accounts.currentAccount(context());
    ASSERT_TRUE(account);
    EXPECT_EQ(account->email, QStringLiteral("QW8653"));
    EXPECT_EQ(account->whenCreated, distantPast());
    EXPECT_EQ(account->subscriptionExpiry, distantPast());
    EXPECT_EQ(account->userName, QStringLiteral(""));
    EXPECT_EQ(account->status, 1);
    EXPECT_EQ(account->updateRecord, 0);
    EXPECT_FALSE(UtilUserDefaults::isUserLoggedIn(context()));
    sql::Statement count = context().database()->prepare("SELECT count(*) FROM User_Account");
    ASSERT_EQ(count.step(), sql::Statement::Step::row);
    EXPECT_EQ(count.int64(0), 1);
}

TEST_F(AccountTest, UpdateLeavesTheTokenAlone)
{
    const QUuid token = QUuid::createUuid();
    ASSERT_TRUE(accounts.storeAccount(context(), token, someone()));
    AccountValues changed = someone();
    changed.email = QStringLiteral("new@example.com");
    changed.updateRecord = 40;
    ASSERT_TRUE(accounts.updateAccount(context(), changed));
    EXPECT_EQ(accounts.currentAccessToken(context()), token);
    EXPECT_EQ(accounts.currentAccount(context())->email, QStringLiteral("new@example.com"));
    EXPECT_EQ(accounts.currentAccount(context())->userName, QStringLiteral("Jö"));
    EXPECT_FLOAT_EQ(*accounts.currentAccount(context())->totalDataStored, 1.5f);
    EXPECT_EQ(accounts.latestUpdateRecord(context()), 40);
}

struct VersionCase {
    const char* version;
    const char* build;
    const char* expected;
};
void PrintTo(const VersionCase& c, std::ostream* out)
{
    *out << c.version << " + " << c.build;
}
class VersionTest : public ::testing::TestWithParam<VersionCase> {};
TEST_P(VersionTest, JoinsVersionAndBuild)
{
    EXPECT_EQ(UtilUserDefaults::versionString(QString::fromUtf8(GetParam().version),
                                              QString::fromUtf8(GetParam().build)),
              QString::fromUtf8(GetParam().expected));
}
INSTANTIATE_TEST_SUITE_P(Cases, VersionTest,
                         ::testing::Values(VersionCase {"2.1", "37", "2.1.37"}, VersionCase {"2.1", "", ""},
                                           VersionCase {"", "37", ""}));

TEST(OsVersionTest, IsMajorDotMinorOfTheRunningSystem)
{
    EXPECT_EQ(UtilUserDefaults::majorMinor(QStringLiteral("13.4.1")), QStringLiteral("13.4"));
    EXPECT_EQ(UtilUserDefaults::majorMinor(QStringLiteral("12")), QStringLiteral("12.0"));
    EXPECT_EQ(UtilUserDefaults::majorMinor(QStringLiteral("6.1.0-18-amd64")), QStringLiteral("6.1"));
    EXPECT_EQ(UtilUserDefaults::majorMinor(QStringLiteral("unknown")), QString());
    EXPECT_TRUE(UtilUserDefaults::osVersionString().contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d+$"))))
        << UtilUserDefaults::osVersionString().toStdString();
    EXPECT_TRUE(UtilUserDefaults::appVersionString().count(QLatin1Char('.')) >= 2);
}

} // namespace
} // namespace zirv::test
