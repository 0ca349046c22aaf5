#include "transfer/final_check.h"

#include <utility>

#include "store/digest.h"

namespace quarnet {

namespace {

constexpr const char* DAMAGED = "The download was damaged on the way, so it was deleted.";
constexpr std::uint32_t ERROR_CODE_INVALID_FUNCTION = 1;
constexpr std::uint32_t ERROR_CODE_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_CODE_INVALID_PARAMETER = 87;

// The handle rename is a second chance; when the system does not offer it at
// all, the first refusal says more about why the file could not be renamed.
bool second_way_unavailable(const OsError& error) {
    return error.is_code(ERROR_CODE_INVALID_PARAMETER) || error.is_code(ERROR_CODE_NOT_SUPPORTED) ||
           error.is_code(ERROR_CODE_INVALID_FUNCTION);
}

std::unexpected<FailureMessage> save_failure(const OsError& error, ErrorTexts& texts) {
    return failure("Could not save the download (" + os_error_text(error, texts) + ").");
}

OsResult<void> rename_replacing(FileSystem& files, const DownloadPaths& paths) {
    auto moved = files.move_replacing(paths.partial, paths.installer);
    if (moved || !moved.error().is_code(ERROR_CODE_ACCESS_DENIED)) return moved;
    auto renamed = files.rename_by_handle(paths.partial, paths.installer);
    if (!renamed && second_way_unavailable(renamed.error())) return moved;
    return renamed;
}

}  // namespace

Result<HeldInstaller> final_check(TransferComplete complete, const InstallerList& list, const DownloadPaths& paths,
                                  ProgressWindow& window, FileSystem& files, ErrorTexts& texts) {
    window.set_progress(list.size, list.size);
    window.set_line(2, "Checking the download\u2026");

    const bool sound = complete.offset == list.size && digest_text(std::move(complete.digest)) == list.sha256;
    if (!sound) {
        ignore_failure(delete_file_even_read_only(files, paths.partial));
        return failure(DAMAGED);
    }
    if (auto renamed = rename_replacing(files, paths); !renamed) return save_failure(renamed.error(), texts);
    // What is started is what is read back here, through the handle held until the launch.
    HeldCheck held = hold_installer(files, paths.installer, list);
    if (auto* error = std::get_if<OsError>(&held)) return save_failure(*error, texts);
    if (std::holds_alternative<NotTheInstaller>(held)) return failure(DAMAGED);
    return std::move(std::get<HeldInstaller>(held));
}

}  // namespace quarnet
