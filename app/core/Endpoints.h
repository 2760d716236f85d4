#pragma once
// The two outside addresses: fixed by the build, overridable at run time
// (ZIRV_BACKEND_URL, ZIRV_B2_AUTH_URL) so tests and local use can point them
// at loopback.

#include <QString>

namespace zirv {

QString backendBaseUrl();
QString b2AuthorisationUrl();

} // namespace zirv
