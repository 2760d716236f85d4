#pragma once
// The behaviour every keychain backend shares, as one parameterised suite.
// Each test executable instantiates it with the backends it can reach.

#include "backend/credentials/UtilKeychain.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QUuid>

#include <functional>
#include <string>

namespace zirv::test {

struct KeychainBackendCase {
    const char* name;
    UtilKeychain::Backend backend;
    // Answers why the backend cannot be used here, or an empty text.
    std::function<std::string()> unavailable;
};

inline void PrintTo(const KeychainBackendCase& c, std::ostream* out)
{
    *out << c.name;
}

class KeychainCases : public ::testing::TestWithParam<KeychainBackendCase> {
protected:
    void SetUp() override
    {
        if (const std::string why = GetParam().unavailable(); !why.empty()) {
            if (qEnvironmentVariableIsSet("ZIRV_REQUIRE_KEYRING"))
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        keychain.emplace(GetParam().backend, QString::fromStdString((dir / "private/credentials").string()));
    }

    // A fresh account name per test, so that runs never meet old items.
    QString account(const char* local = "user")
    {
        return QString::fromLatin1(local) + QLatin1Char('.') + QUuid::createUuid().toString(QUuid::WithoutBraces)
            + QStringLiteral("@example.com");
    }

    std::string captured(const std::function<void()>& action)
    {
        ::testing::internal::CaptureStdout();
        action();
        return ::testing::internal::GetCapturedStdout();
    }

    TempDir dir;
    std::optional<UtilKeychain> keychain;
};

TEST_P(KeychainCases, AddReadUpdateRemove)
{
    const QString email = account();
    EXPECT_EQ(keychain->add(keychainService, email, QStringLiteral("first")), KeychainStatus::success);
    EXPECT_EQ(keychain->readItem(keychainService, email), QStringLiteral("first"));
    EXPECT_EQ(keychain->readItem(QStringLiteral("other"), email), std::nullopt);
    EXPECT_EQ(keychain->update(keychainService, email, QStringLiteral("second")), KeychainStatus::success);
    EXPECT_EQ(keychain->readItem(keychainService, email), QStringLiteral("second"));
    EXPECT_EQ(keychain->remove(keychainService, email), KeychainStatus::success);
    EXPECT_EQ(keychain->readItem(keychainService, email), std::nullopt);
}

struct ConsoleCase {
    const char* name;
    std::function<void(const UtilKeychain&, const QString& email)> action;
    const char* line;
};

TEST_P(KeychainCases, FailuresArePrintedWithTheirLines)
{
    const ConsoleCase cases[] = {
        {"add twice",
         [](const UtilKeychain& k, const QString& e) {
             k.addItem(keychainService, e, QStringLiteral("a"));
             k.addItem(keychainService, e, QStringLiteral("b"));
         },
         "Write failed: The specified item already exists in the keychain."},
        {"update missing", [](const UtilKeychain& k, const QString& e) { k.updateItem(keychainService, e, QStringLiteral("a")); },
         "Read failed: The specified item could not be found in the keychain."},
        {"read missing", [](const UtilKeychain& k, const QString& e) { EXPECT_FALSE(k.readItem(keychainService, e)); },
         "Nothing was retrieved from the keychain. Status code -25300"},
        {"remove missing", [](const UtilKeychain& k, const QString& e) { k.removeItem(keychainService, e); },
         "Remove failed: The specified item could not be found in the keychain."},
    };
    for (const ConsoleCase& c : cases) {
        const QString email = account();
        const std::string out = captured([&] { c.action(*keychain, email); });
        EXPECT_NE(out.find(c.line), std::string::npos) << c.name << ": " << out;
    }
    // Adding a duplicate changed nothing.
    const QString email = account();
    keychain->addItem(keychainService, email, QStringLiteral("kept"));
    captured([&] { keychain->addItem(keychainService, email, QStringLiteral("lost")); });
    EXPECT_EQ(keychain->readItem(keychainService, email), QStringLiteral("kept"));
    keychain->removeItem(keychainService, email);
}

TEST_P(KeychainCases, LoggingInTwiceLeavesOneItemWithTheSecondPassword)
{
    const QString email = account();
    captured([&] { savePasswordAfterLogin(*keychain, email, QStringLiteral("one")); });
    const std::string out = captured([&] { savePasswordAfterLogin(*keychain, email, QStringLiteral("two")); });
    EXPECT_EQ(out.find("failed"), std::string::npos) << out;
    EXPECT_EQ(keychain->readItem(keychainService, email), QStringLiteral("two"));
    keychain->removeItem(keychainService, email);
    captured([&] { EXPECT_FALSE(keychain->readItem(keychainService, email)); });
}

TEST_P(KeychainCases, APasswordChangeUpdatesOnlyAnExistingItem)
{
    const QString email = account();
    captured([&] { savePasswordAfterChange(*keychain, email, QStringLiteral("new")); });
    captured([&] { EXPECT_FALSE(keychain->readItem(keychainService, email)); });
    keychain->addItem(keychainService, email, QStringLiteral("old"));
    savePasswordAfterChange(*keychain, email, QStringLiteral("new"));
    EXPECT_EQ(keychain->readItem(keychainService, email), QStringLiteral("new"));
    keychain->removeItem(keychainService, email);
}

TEST_P(KeychainCases, PasswordsAreStoredAsUtf8Unchanged)
{
    const QString passwords[] = {
        QStringLiteral("pässwörd"), QStringLiteral("日本語のパスワード"), QStringLiteral("emoji 🔑 and spaces"),
        QStringLiteral("quote\" backslash\\ tab\t"), QStringLiteral(""),
    };
    for (const QString& password : passwords) {
        const QString email = account("ü");
        keychain->addItem(keychainService, email, password);
        const std::optional<QString> back = keychain->readItem(keychainService, email);
        ASSERT_TRUE(back) << password.toStdString();
        EXPECT_EQ(*back, password);
        keychain->removeItem(keychainService, email);
    }
}

TEST_P(KeychainCases, ItemsOfOtherAddressesAreLeftAlone)
{
    const QString a = account("a");
    const QString b = account("b");
    keychain->addItem(keychainService, a, QStringLiteral("pa"));
    keychain->addItem(keychainService, b, QStringLiteral("pb"));
    keychain->removeItem(keychainService, a);
    EXPECT_EQ(keychain->readItem(keychainService, b), QStringLiteral("pb"));
    keychain->removeItem(keychainService, b);
}

} // namespace zirv::test
