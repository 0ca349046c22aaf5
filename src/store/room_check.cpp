#include "store/room_check.h"

#include "store/download_files.h"

namespace quarnet {

std::optional<FailureMessage> check_room(Folder& folder, const Release& release, const ResumePoint& resume,
                                         ErrorTexts& texts) {
    if (resume.offset >= release.size) return std::nullopt;  // nothing to fetch
    const std::uint64_t needed = release.size - resume.offset;
    auto available = folder.free_space();
    if (!available || *available >= needed) return std::nullopt;
    // Bytes of the partial file past the offset are cut away before the first write.
    auto length = resume.partial->length();
    if (length && *length > resume.offset && *length - resume.offset >= needed - *available) return std::nullopt;
    return write_failure(OsError::from_code(ERROR_CODE_DISK_FULL), texts);
}

}  // namespace quarnet
