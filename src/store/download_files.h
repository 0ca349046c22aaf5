#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace quarnet {

struct DownloadPaths {
    std::string installer;  // work folder + file
    std::string partial;    // work folder + file + ".part"
};

DownloadPaths download_paths(std::string_view work_folder, std::string_view file);

// Deletes every file of the work folder but the two download files (read-only
// ones too); sub-folders and files others hold open stay. Never fails.
void sweep_work_folder(FileSystem& files, std::string_view work_folder, const DownloadPaths& paths);

// DeleteFileW, clearing the read-only attribute and trying again when that is
// what refused it. Errors are the caller's to drop.
OsResult<void> delete_file_even_read_only(FileSystem& files, const std::string& path);

}  // namespace quarnet
