#pragma once
// Diagnostic lines on standard output. They are never shown to the user.

#include <QString>

namespace zirv {

// Prints one line and flushes; safe from any thread, lines never interleave.
void consoleLine(const QString& line);

} // namespace zirv
