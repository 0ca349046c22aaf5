#pragma once

#include <string>
#include <string_view>

#include "base/failure_message.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"

namespace quarnet {

inline constexpr std::string_view WORK_FOLDER_NAME = "Quarnet-setup";

// left + "\" + name, without a second separator when left already ends in "\" or "/".
std::string join_path(std::string_view left, std::string_view name);

// The temporary directory joined with "Quarnet-setup", made with every missing level.
Result<std::string> open_work_folder(FileSystem& files, ErrorTexts& texts);

}  // namespace quarnet
