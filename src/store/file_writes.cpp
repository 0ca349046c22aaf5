#include "store/file_writes.h"

namespace quarnet {

OsResult<void> write_all(File& file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        auto written = file.write(bytes);
        if (!written) {
            if (written.error().is_interrupted()) continue;
            return std::unexpected(written.error());
        }
        if (*written == 0) return std::unexpected(OsError::write_zero());
        bytes = bytes.subspan(*written);
    }
    return {};
}

}  // namespace quarnet
