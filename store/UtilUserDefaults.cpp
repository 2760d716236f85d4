#include "UtilUserDefaults.h"

#include "BuildValues.h"
#include "store/CDUser_Account.h"

#include <QSysInfo>
#include <QVersionNumber>

namespace zirv {

bool UtilUserDefaults::isUserLoggedIn(StoreContext& context)
{
    const std::optional<QUuid> token = CDUser_Account().currentAccessToken(context);
    if (!token)
        return false;
    return token->toString(QUuid::WithoutBraces).toUpper()
        != noUserAccessToken.toString(QUuid::WithoutBraces).toUpper();
}

QString UtilUserDefaults::versionString(const QString& version, const QString& buildNumber)
{
    if (version.isEmpty() || buildNumber.isEmpty())
        return QString();
    return version + QLatin1Char('.') + buildNumber;
}

QString UtilUserDefaults::appVersionString()
{
    return versionString(QString::fromUtf8(build::version), QString::fromUtf8(build::buildNumber));
}

QString UtilUserDefaults::majorMinor(const QString& version)
{
    const QVersionNumber number = QVersionNumber::fromString(version);
    if (number.isNull())
        return QString();
    return QStringLiteral("%1.%2").arg(number.majorVersion()).arg(number.minorVersion());
}

QString UtilUserDefaults::osVersionString()
{
    // The distribution's version; the kernel's when the system names none.
    QString text = majorMinor(QSysInfo::productVersion());
    if (text.isEmpty())
        text = majorMinor(QSysInfo::kernelVersion());
    return text;
}

} // namespace zirv
