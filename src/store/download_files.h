#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"

namespace quarnet {

// The two download files, named inside the work folder.
struct DownloadPaths {
    std::string installer;  // file
    std::string partial;    // file + ".part"
};

DownloadPaths download_paths(std::string_view file);

// Deletes every entry of the work folder that it lists but the two download
// files (read-only ones too, links as links); sub-folders and files others hold
// open stay. Never fails.
void sweep_work_folder(Folder& folder, const DownloadPaths& paths);

// Deletes the entry, clearing the read-only attribute and trying again when that
// is what refused it. Errors are the caller's to drop.
OsResult<void> delete_even_read_only(Folder& folder, const std::string& name);

// Clears the read-only attribute of a plain file entry; false when it has none
// (or is no plain file) or Windows refused.
bool cleared_read_only(Folder& folder, const std::string& name);

// What `open` gives for the entry. Refused with ERROR_ACCESS_DENIED, a read-only
// file is opened again once its attribute is cleared, keeping what it holds; one
// whose own DACL refuses us is a stranger's, which the folder's owner may still
// delete: deleted, then opened anew, once. What cannot be deleted gives the refusal.
template <class Open>
auto open_taking_back(Folder& folder, const std::string& name, Open open) {
    auto opened = open();
    auto denied = [&] { return !opened && opened.error().is_code(ERROR_CODE_ACCESS_DENIED); };
    if (denied() && cleared_read_only(folder, name)) opened = open();
    if (denied() && delete_even_read_only(folder, name)) opened = open();
    return opened;
}

// "Could not save the download (…)." for a download file that cannot be opened,
// cut or renamed.
FailureMessage save_failure(const OsError& error, ErrorTexts& texts);
// "Could not save the download (…). Is the disk full?" for a write that failed.
FailureMessage write_failure(const OsError& error, ErrorTexts& texts);

}  // namespace quarnet
