#include "Endpoints.h"

#include "BuildValues.h"

#include <QtGlobal>

namespace zirv {

namespace {

QString fromEnvironment(const char* variable, const char* fallback)
{
    const QString value = qEnvironmentVariable(variable);
    QString url = value.isEmpty() ? QString::fromUtf8(fallback) : value;
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

} // namespace

QString backendBaseUrl()
{
    return fromEnvironment("ZIRV_BACKEND_URL", build::backendUrl);
}

QString b2AuthorisationUrl()
{
    return fromEnvironment("ZIRV_B2_AUTH_URL", build::b2AuthUrl);
}

} // namespace zirv
