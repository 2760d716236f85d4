#include "backend/i18n/LocalisedMessage.h"
#include "backend/i18n/MessageKeys.h"

#include <QRegularExpression>
#include <QTranslator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zirv {
namespace {

const QString testTables = QStringLiteral(":/testi18n");
const QString testPrefix = QStringLiteral("zirvtest");

class LocalisedMessageTest : public ::testing::Test {
protected:
    void TearDown() override { MessageCatalog::shared().load({QStringLiteral("en")}); }
};

struct LookupCase {
    const char* name;
    QStringList languages;
    const char* key;
    QString expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LookupCase& c, std::ostream* out)
{
    *out << c.name;
}

class LocalisedMessageLookup : public LocalisedMessageTest,
                               public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LocalisedMessageLookup, FollowsTheFallBackRule)
{
    const LookupCase& c = GetParam();
    MessageCatalog::shared().load(c.languages, testTables, testPrefix);
    EXPECT_EQ(localisedMessage(c.key, QStringLiteral("described")), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalisedMessageLookup,
    ::testing::Values(
        LookupCase{"GermanPresent", {"de-DE", "en"}, "_Test.Both", "In beiden Tabellen"},
        LookupCase{"GermanMissingFallsBackToEnglish", {"de"}, "_Test.EnglishOnly", "Only in English"},
        LookupCase{"NoTableForTheLanguage", {"fr-FR"}, "_Test.Both", "In both tables"},
        LookupCase{"EnglishFirst", {"en"}, "_Test.EnglishOnly", "Only in English"},
        // "en" exactly: the user's own result stands, even when it is the key.
        LookupCase{"EnglishFirstUnknownKey", {"en"}, "_Test.Unknown", "_Test.Unknown"},
        // en-GB is not "en": the English table is asked (and lacks it too).
        LookupCase{"BritishEnglishUnknownKey", {"en-GB"}, "_Test.Unknown", "_Test.Unknown"},
        LookupCase{"GermanUnknownKey", {"de"}, "_Test.Unknown", "_Test.Unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LocalisedMessageTest, PlacesArgumentsWhereTheTableSays)
{
    MessageCatalog::shared().load({QStringLiteral("de")}, testTables, testPrefix);
    EXPECT_EQ(localisedMessage("_Test.Format", QStringLiteral("Code and message"),
                               {QStringLiteral("42"), QStringLiteral("Fehler %1")}),
              QStringLiteral("Fehler %1 (Code 42)"));
    MessageCatalog::shared().load({QStringLiteral("en")}, testTables, testPrefix);
    EXPECT_EQ(localisedMessage("_Test.Format", QStringLiteral("Code and message"),
                               {QStringLiteral("42"), QStringLiteral("boom")}),
              QStringLiteral("Code 42: boom"));
}

TEST(FormatMessage, ReplacesPositionalPlaceholdersInOnePass)
{
    EXPECT_EQ(formatMessage(QStringLiteral("%2-%1-%3"), {QStringLiteral("a"), QStringLiteral("%1")}),
              QStringLiteral("%1-a-%3"));
    EXPECT_EQ(formatMessage(QStringLiteral("100% of %1"), {QStringLiteral("x")}),
              QStringLiteral("100% of x"));
}

int highestPlaceholder(const QString& text)
{
    int highest = 0;
    const QRegularExpression placeholder(QStringLiteral("%(\\d+)"));
    for (auto it = placeholder.globalMatch(text); it.hasNext();)
        highest = std::max(highest, it.next().captured(1).toInt());
    return highest;
}

TEST(MessageTables, EveryKeyIsInBothLanguagesWithTheSamePlaceholders)
{
    QTranslator english, german;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/zirv2_en.qm")));
    ASSERT_TRUE(german.load(QStringLiteral(":/i18n/zirv2_de.qm")));
    for (const char* key : messageKey::all) {
        const QString en = english.translate(nullptr, key);
        const QString de = german.translate(nullptr, key);
        EXPECT_FALSE(en.isEmpty()) << key;
        EXPECT_FALSE(de.isEmpty()) << key;
        EXPECT_NE(en, de) << key;
        EXPECT_EQ(highestPlaceholder(en), highestPlaceholder(de)) << key;
    }
}

TEST_F(LocalisedMessageTest, TheProgramTablesAnswerInGermanAndEnglish)
{
    MessageCatalog::shared().load({QStringLiteral("de-AT")});
    EXPECT_EQ(localisedMessage(messageKey::errorNoData, QStringLiteral("No data was returned from the server")),
              QStringLiteral("Der Server hat keine Daten zurückgegeben"));
    MessageCatalog::shared().load({QStringLiteral("en-US")});
    EXPECT_EQ(localisedMessage(messageKey::errorServerErrorWithCode, QStringLiteral("general problem"),
                               {QStringLiteral("7"), QStringLiteral("disk full")}),
              QStringLiteral("There was a general problem at the server (code 7: disk full)"));
}

} // namespace
} // namespace zirv
