#include "LocalisedMessage.h"

#include <QCoreApplication>
#include <QLocale>
#include <QReadWriteLock>
#include <QTranslator>

namespace zirv {

struct MessageCatalog::Impl {
    QReadWriteLock lock;
    bool loaded = false;
    QString firstLanguage;
    std::unique_ptr<QTranslator> user;
    std::unique_ptr<QTranslator> english;
};

MessageCatalog::MessageCatalog() : m_impl(std::make_unique<Impl>()) {}

MessageCatalog::~MessageCatalog()
{
    if (m_impl->user && QCoreApplication::instance())
        QCoreApplication::removeTranslator(m_impl->user.get());
}

MessageCatalog& MessageCatalog::shared()
{
    static MessageCatalog catalog;
    return catalog;
}

void MessageCatalog::load(const QStringList& preferredLanguages, const QString& folder,
                          const QString& prefix)
{
    QWriteLocker locker(&m_impl->lock);
    if (m_impl->user) {
        QCoreApplication::removeTranslator(m_impl->user.get());
        m_impl->user.reset();
    }
    m_impl->english.reset();
    m_impl->firstLanguage = preferredLanguages.value(0);

    // The user's table takes part in qtTrId() like any installed translation.
    if (!preferredLanguages.isEmpty()) {
        auto user = std::make_unique<QTranslator>();
        if (user->load(QLocale(m_impl->firstLanguage), prefix, QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(user.get());
            m_impl->user = std::move(user);
        }
    }
    auto english = std::make_unique<QTranslator>();
    if (english->load(prefix + QStringLiteral("_en"), folder))
        m_impl->english = std::move(english);
    m_impl->loaded = true;
}

QString MessageCatalog::lookUp(const char* key)
{
    {
        QReadLocker locker(&m_impl->lock);
        if (!m_impl->loaded) {
            locker.unlock();
            load(QLocale::system().uiLanguages());
        }
    }
    QReadLocker locker(&m_impl->lock);
    const QString found = qtTrId(key);
    if (found != QLatin1String(key))
        return found;
    if (m_impl->firstLanguage == QLatin1String("en") || !m_impl->english)
        return found;
    const QString english = m_impl->english->translate(nullptr, key);
    return english.isEmpty() ? found : english;
}

QString formatMessage(const QString& format, const QStringList& arguments)
{
    QString result;
    result.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('%') && i + 1 < format.size() && format.at(i + 1).isDigit()) {
            qsizetype end = i + 1;
            int number = 0;
            while (end < format.size() && format.at(end).isDigit() && end < i + 3)
                number = number * 10 + format.at(end++).digitValue();
            if (number >= 1 && number <= arguments.size()) {
                result += arguments.at(number - 1);
                i = end - 1;
                continue;
            }
        }
        result += c;
    }
    return result;
}

QString localisedMessage(const char* key, const QString& english)
{
    Q_UNUSED(english);
    return MessageCatalog::shared().lookUp(key);
}

QString localisedMessage(const char* key, const QString& english, const QStringList& arguments)
{
    return formatMessage(localisedMessage(key, english), arguments);
}

} // namespace zirv
