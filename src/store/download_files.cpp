#include "store/download_files.h"

#include <string>

namespace quarnet {

DownloadPaths download_paths(std::string_view file) {
    std::string installer(file);
    std::string partial = installer + ".part";
    return {std::move(installer), std::move(partial)};
}

bool cleared_read_only(Folder& folder, const std::string& name) {
    auto info = folder.entry_info(name);
    return info && !info->reparse_point && !info->directory && info->read_only && folder.clear_read_only(name);
}

OsResult<void> delete_even_read_only(Folder& folder, const std::string& name) {
    auto deleted = folder.delete_entry(name);
    if (deleted || !deleted.error().is_code(ERROR_CODE_ACCESS_DENIED) || !cleared_read_only(folder, name)) {
        return deleted;
    }
    return folder.delete_entry(name);
}

void sweep_work_folder(Folder& folder, const DownloadPaths& paths) {
    auto listing = folder.list();
    if (!listing) return;  // the folder cannot be listed: nothing to sweep
    // Names compare byte for byte, letter case counting: "setup.exe" is not "Setup.exe".
    while (auto name = (*listing)->next()) {
        if (*name == "." || *name == ".." || *name == paths.installer || *name == paths.partial) continue;
        ignore_failure(delete_even_read_only(folder, *name));  // folders and files in use stay
    }
}

FailureMessage save_failure(const OsError& error, ErrorTexts& texts) {
    return FailureMessage("Could not save the download (" + os_error_text(error, texts) + ").");
}

FailureMessage write_failure(const OsError& error, ErrorTexts& texts) {
    return FailureMessage("Could not save the download (" + os_error_text(error, texts) + "). Is the disk full?");
}

}  // namespace quarnet
