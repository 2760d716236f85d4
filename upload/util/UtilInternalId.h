#pragma once

#include <cstdint>

namespace zirv {

// Row ids of one display pass: take the current value, then add one.
struct UtilInternalId {
    int64_t internalId = 1;

    int64_t next() { return internalId++; }
    void reset() { internalId = 1; }
};

} // namespace zirv
