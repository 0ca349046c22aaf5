#include "transfer/final_check.h"

#include <utility>

#include "store/digest.h"
#include "store/download_files.h"

namespace quarnet {

namespace {

constexpr const char* DAMAGED = "The download was damaged on the way, so it was deleted.";

// The handle rename is a second chance; when the system does not offer it at
// all, the first refusal says more about why the file could not be renamed.
bool second_way_unavailable(const OsError& error) {
    return error.is_code(ERROR_CODE_INVALID_PARAMETER) || error.is_code(ERROR_CODE_NOT_SUPPORTED) ||
           error.is_code(ERROR_CODE_INVALID_FUNCTION);
}

OsResult<void> rename_replacing(OwnFile& partial, const std::string& installer) {
    auto moved = partial.rename_replacing(installer);
    if (moved || !moved.error().is_code(ERROR_CODE_ACCESS_DENIED)) return moved;
    auto renamed = partial.rename_replacing_in_use(installer);
    if (!renamed && second_way_unavailable(renamed.error())) return moved;
    return renamed;
}

}  // namespace

Result<HeldInstaller> final_check(PartialDownload complete, const Release& release, const WorkFolder& folder,
                                  const DownloadPaths& paths, ProgressWindow& window, ErrorTexts& texts, Clock& clock) {
    window.set_progress(release.size, release.size);
    window.set_line(2, "Checking the download\u2026");

    const bool sound = complete.offset == release.size && digest_text(std::move(complete.digest)) == release.sha256;
    if (!sound) {
        complete.file.reset();  // it shares no deletion
        ignore_failure(delete_even_read_only(*folder.held, paths.partial));
        return failure(DAMAGED);
    }
    InUseWait wait(clock, &window);
    auto renamed = wait.retry([&] { return rename_replacing(*complete.file, paths.installer); }, folder.held.get(),
                              paths.installer);
    complete.file.reset();  // the read-back shares reading only
    if (wait.cancelled()) return cancelled();
    if (!renamed) return failure(save_failure(renamed.error(), texts));
    // What is started is what is read back here, through the handle held until the launch.
    auto held = hold_installer(folder, paths.installer, release, wait);
    if (wait.cancelled()) return cancelled();
    if (!held) return failure(save_failure(held.error(), texts));
    if (!*held) return failure(DAMAGED);
    return std::move(**held);
}

}  // namespace quarnet
