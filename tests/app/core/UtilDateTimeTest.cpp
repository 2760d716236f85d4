#include "app/core/Formatting.h"
#include "app/core/UtilDateTime.h"

#include <gtest/gtest.h>

using namespace zirv;

TEST(NormaliseServerDate, CasesFromTheBackend)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"2024-01-31T23:59:59.1234567", "2024-01-31T23:59:59Z"}, // cut to 19, Z added
        {"2024-01-31T23:59:59", "2024-01-31T23:59:59Z"},
        {"2024-01-31T23:59:59Z", "2024-01-31T23:59:59Z"},        // 20 with Z: unchanged
        {"", "Z"},
        {"2024-01-31t23:59:59.000", "2024-01-31T23:59:59Z"},     // upper-cased
        {"2024-01-31T23:59:59+", "2024-01-31T23:59:59+Z"},       // 20 without Z: not cut
        {"2024-01-31T23:59:59.000z", "2024-01-31T23:59:59Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(normaliseServerDate(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST(NormaliseServerDate, ResultReadsAsUtc)
{
    const QDateTime t = QDateTime::fromString(normaliseServerDate(QStringLiteral("2024-01-31T23:59:59.1234567")),
                                              Qt::ISODate);
    ASSERT_TRUE(t.isValid());
    EXPECT_EQ(t.timeSpec(), Qt::UTC);
    EXPECT_EQ(t.toSecsSinceEpoch(), 1706745599);
}

TEST(UtilDateTime, MediumDateHasAbbreviatedMonthAndNoTime)
{
    UtilDateTime util;
    util.dateFormatter.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    util.dateFormatter.dateStyle = UtilDateTime::Style::mediumStyle;
    const QString text = util.dateFormatter.string(QDateTime(QDate(2024, 1, 31), QTime(12, 0)));
    EXPECT_EQ(text, QStringLiteral("Jan 31, 2024"));
}

TEST(Formatting, ByteCounts)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(byteCountString(1234567), QStringLiteral("1.2 MB"));
    EXPECT_EQ(byteCountStringBinary(1536), QStringLiteral("1.5 kB"));
}
