#pragma once

#include <cstdint>
#include <optional>

namespace zirv {

class UtilFile {
public:
    // Total size, in whole gibibytes, of the volume holding the user's
    // documents folder; 8 when it cannot be measured. Blocks on the file system.
    static double fileSystemSizeInGB();

    // The conversion behind it: bytes / 2^30 truncated, or 8 for no size.
    static double gibibytesOrDefault(std::optional<uint64_t> totalBytes);
};

} // namespace zirv
