#include "UtilDateTime.h"

namespace zirv {

QString normaliseServerDate(const QString& text)
{
    QString result = text;
    if (result.size() > 20)
        result = result.left(19).toUpper();
    if (!result.contains(QLatin1Char('Z')))
        result += QLatin1Char('Z');
    return result;
}

UtilDateTime::UtilDateTime()
{
    dateFormatter.locale = QLocale();
}

namespace {

QLocale::FormatType formatType(UtilDateTime::Style style)
{
    switch (style) {
    case UtilDateTime::Style::shortStyle:
        return QLocale::ShortFormat;
    case UtilDateTime::Style::longStyle:
        return QLocale::LongFormat;
    default:
        return QLocale::LongFormat;
    }
}

// The medium style: the month's abbreviated name with day and year
// ("31 Jan 2024", "Jan 31, 2024"), which QLocale lacks as a ready format.
QString mediumDate(const QLocale& locale, const QDate& date)
{
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    pattern.replace(QLatin1String("dddd, "), QString()).replace(QLatin1String("dddd "), QString());
    pattern.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    return locale.toString(date, pattern.trimmed());
}

} // namespace

QString UtilDateTime::DateFormatter::string(const QDateTime& dateTime) const
{
    const QDateTime local = dateTime.toLocalTime();
    QStringList parts;
    if (dateStyle == Style::mediumStyle)
        parts << mediumDate(locale, local.date());
    else if (dateStyle != Style::none)
        parts << locale.toString(local.date(), formatType(dateStyle));
    if (timeStyle != Style::none)
        parts << locale.toString(local.time(), timeStyle == Style::shortStyle
                                                   ? QLocale::ShortFormat
                                                   : QLocale::LongFormat);
    return parts.join(QLatin1Char(' '));
}

} // namespace zirv
