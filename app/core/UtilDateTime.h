#pragma once
// Date handling shared by the account panel and the account operations.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace zirv {

// Turns a backend date-time text into one an ISO 8601 reader takes: texts
// longer than 20 characters are cut to their first 19, upper-cased; a "Z" is
// appended when there is none.
QString normaliseServerDate(const QString& text);

class UtilDateTime {
public:
    enum class Style { none, shortStyle, mediumStyle, longStyle };

    // The formatter of this object: the user's locale at creation. Users set
    // the date and time styles before each use.
    struct DateFormatter {
        QLocale locale;
        Style dateStyle = Style::none;
        Style timeStyle = Style::none;

        QString string(const QDateTime& dateTime) const;
    };

    UtilDateTime();

    DateFormatter dateFormatter;
};

} // namespace zirv
