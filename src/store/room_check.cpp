#include "store/room_check.h"

#include "store/download_files.h"

namespace quarnet {

Result<void> check_room(Folder& folder, const Release& release, const PartialDownload& partial, ErrorTexts& texts) {
    if (partial.offset >= release.size) return {};  // nothing to fetch
    const std::uint64_t needed = release.size - partial.offset;
    auto available = folder.free_space();
    if (!available || *available >= needed) return {};
    // Bytes of the partial file past the offset are cut away before the first write.
    auto length = partial.file->length();
    if (length && *length > partial.offset && *length - partial.offset >= needed - *available) return {};
    return failure(write_failure(OsError::from_code(ERROR_CODE_DISK_FULL), texts));
}

}  // namespace quarnet
