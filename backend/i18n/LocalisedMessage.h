#pragma once
// User-facing messages, looked up by key in the user's language with the
// English table as the fall-back.
//
// The tables are Qt id-based translations (the ids are the message keys),
// compiled into the program under ":/i18n" as zirv2_<language>.qm. A message
// with arguments is a format whose positional placeholders (%1, %2, ...)
// receive the arguments in order; the table decides where they stand.

#include <QString>
#include <QStringList>

#include <memory>

namespace zirv {

// The lookup. `english` describes what the entry says (for the reader of the
// calling code); it is never returned by the lookup itself.
//   1. the key in the user's table; a result other than the key is returned;
//   2. if the user's first preferred language is exactly "en", that result;
//   3. otherwise the key in the English table (the result of 1 without one).
QString localisedMessage(const char* key, const QString& english);
// The same, then the arguments put into the placeholders.
QString localisedMessage(const char* key, const QString& english, const QStringList& arguments);

// Replaces %1 ... %99 in `format` by the arguments, in one pass (an argument
// containing "%2" stays as it is). Placeholders without an argument stay.
QString formatMessage(const QString& format, const QStringList& arguments);

// The tables in use. Loaded on first use for the system's preferred
// languages; tests point it at other tables or languages.
class MessageCatalog {
public:
    static MessageCatalog& shared();

    // Uses the tables "<prefix>_<language>.qm" in `folder` for the given
    // preferred languages (first one first), e.g. {"de-DE", "en"}.
    void load(const QStringList& preferredLanguages, const QString& folder = QStringLiteral(":/i18n"),
              const QString& prefix = QStringLiteral("zirv2"));

    QString lookUp(const char* key);

    ~MessageCatalog();

private:
    MessageCatalog();
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zirv
