#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"

namespace quarnet {

inline constexpr std::string_view WORK_FOLDER_NAME = "Quarnet-setup";

// The work folder, held from its first check to its last use: everything in it
// is reached through `held`, by name.
struct WorkFolder {
    std::string path;
    std::unique_ptr<Folder> held;

    // The full path of an entry, for what Windows takes only by path (the launch).
    std::string path_of(std::string_view name) const { return join_path(path, name); }
};

// The temporary directory joined with "Quarnet-setup": made with every missing
// level, the last one private to the user, SYSTEM and the administrators (made
// so again on every call), and held. A folder on a volume without owners is used
// as it is. A link there, or an empty folder that another user made, is removed and
// the folder made anew; another user's folder with something in it is refused.
Result<WorkFolder> open_work_folder(FileSystem& files, ErrorTexts& texts);

}  // namespace quarnet
