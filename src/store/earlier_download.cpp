#include "store/earlier_download.h"

#include <optional>
#include <utility>

namespace quarnet {
namespace {

constexpr std::string_view CHECKING_COPY = "Checking the copy downloaded before\xE2\x80\xA6";
constexpr std::string_view CHECKING_PARTIAL = "Checking what was downloaded before\xE2\x80\xA6";

// A complete copy from an earlier run counts only when the read-back holds it;
// anything else in its place is deleted (a folder there is left alone, a link is
// removed as a link).
Result<std::optional<HeldInstaller>> reuse_complete_copy(const Release& release, const WorkFolder& folder,
                                                         const std::string& name, ProgressWindow& window,
                                                         Clock& clock) {
    auto info = folder.held->entry_info(name);
    if (!info || (info->directory && !info->reparse_point)) return std::nullopt;
    if (!info->reparse_point) {
        window.set_line(2, CHECKING_COPY);
        if (info->length == release.size) {
            InUseWait wait(clock, &window);
            auto held = hold_installer(folder, name, release, wait);
            if (wait.cancelled()) return cancelled();  // and the copy stays
            if (held) return std::move(*held);         // the copy, or nothing when it was deleted
        }
    }
    ignore_failure(delete_even_read_only(*folder.held, name));
    return std::nullopt;
}

// The partial file could not be had. Bytes an earlier run left there that another
// program keeps from us cannot be read back; anything else cannot be saved to.
FailureMessage partial_failure(const OsError& error, const Release& release, Folder& folder, const std::string& name,
                               ErrorTexts& texts) {
    if (error.is_code(ERROR_CODE_SHARING_VIOLATION)) {
        auto info = folder.entry_info(name);
        if (info && info->length > 0 && info->length <= release.size) {
            return FailureMessage("Could not read the earlier download (" + os_error_text(error, texts) + ").");
        }
    }
    return save_failure(error, texts);
}

}  // namespace

Result<EarlierDownload> check_earlier_download(const Release& release, const WorkFolder& folder,
                                               const DownloadPaths& paths, ProgressWindow& window, ErrorTexts& texts,
                                               Clock& clock) {
    if (auto copy = TRY(reuse_complete_copy(release, folder, paths.installer, window, clock))) return std::move(*copy);

    // Opened once, for the check and the transfer alike: what is hashed here is
    // what the transfer appends to.
    // A scanner's brief hold is waited out; a file whose DACL shuts us out is taken back.
    InUseWait wait(clock, &window);
    auto partial = wait.retry(
        [&] {
            return open_taking_back(*folder.held, paths.partial, [&] { return folder.held->open_own(paths.partial); });
        },
        folder.held.get(), paths.partial);
    if (wait.cancelled()) return cancelled();
    if (!partial) return failure(partial_failure(partial.error(), release, *folder.held, paths.partial, texts));
    auto length = (*partial)->length();
    // Too long (or unknown): the transfer cuts it back to nothing.
    if (!length || *length == 0 || *length > release.size) return PartialDownload{std::move(*partial)};
    window.set_line(2, CHECKING_PARTIAL);
    HashedPrefix hashed =
        TRY_MAP(hash_open_file(**partial, *length), error,
                FailureMessage("Could not read the earlier download (" + os_error_text(error, texts) + ")."));
    return PartialDownload{std::move(*partial), hashed.length, std::move(hashed.digest)};
}

}  // namespace quarnet
