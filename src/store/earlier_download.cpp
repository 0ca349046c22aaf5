#include "store/earlier_download.h"

#include <optional>
#include <utility>

namespace quarnet {
namespace {

constexpr std::string_view CHECKING_COPY = "Checking the copy downloaded before\xE2\x80\xA6";
constexpr std::string_view CHECKING_PARTIAL = "Checking what was downloaded before\xE2\x80\xA6";

// A complete copy from an earlier run counts only when the read-back holds it;
// anything else at the installer path is deleted (a folder there is left alone,
// a link is removed as a link).
std::optional<HeldInstaller> reuse_complete_copy(const InstallerList& list, const std::string& path,
                                                 ProgressWindow& window, FileSystem& files) {
    auto info = files.entry_info(path);
    if (!info) return std::nullopt;
    if (info->reparse_point) {
        ignore_failure(files.remove_link(path));
        return std::nullopt;
    }
    if (info->directory) return std::nullopt;
    window.set_line(2, CHECKING_COPY);
    if (info->length == list.size) {
        HeldCheck held = hold_installer(files, path, list);
        if (auto* installer = std::get_if<HeldInstaller>(&held)) return std::move(*installer);
        if (std::holds_alternative<NotTheInstaller>(held)) return std::nullopt;  // deleted already
    }
    ignore_failure(delete_file_even_read_only(files, path));
    return std::nullopt;
}

}  // namespace

EarlierDownload check_earlier_download(const InstallerList& list, const DownloadPaths& paths, ProgressWindow& window,
                                       FileSystem& files, ErrorTexts& texts) {
    window.set_line(1, "Downloading Pelorin " + list.version + " (" + size_text(list.size) + ")");

    if (auto held = reuse_complete_copy(list, paths.installer, window, files)) return Reuse{std::move(*held)};

    auto info = files.file_info(paths.partial);
    if (!info || info->length == 0) return ResumePoint{};
    if (info->length > list.size) {
        ignore_failure(delete_file_even_read_only(files, paths.partial));
        return ResumePoint{};
    }
    window.set_line(2, CHECKING_PARTIAL);
    auto hashed = hash_file_prefix(files, paths.partial, info->length);
    if (!hashed) {
        return FailureMessage("Could not read the earlier download (" + os_error_text(hashed.error(), texts) + ").");
    }
    // The offset is what the digest covers, which is the listed length unless the
    // file was cut short in between.
    return ResumePoint{hashed->length, std::move(hashed->digest)};
}

}  // namespace quarnet
