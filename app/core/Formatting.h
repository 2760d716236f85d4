#pragma once
// Byte counts rendered alike wherever they are shown.

#include <QString>

#include <cstdint>

namespace zirv {

// The default style: decimal units (kB, MB, GB) in the user's locale, as in
// the upload rows and their summary.
QString byteCountString(int64_t bytes);

// The 1024-based style, as in the account panel's data stored.
QString byteCountStringBinary(int64_t bytes);

} // namespace zirv
