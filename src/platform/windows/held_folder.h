#pragma once
// The work folder held open, its entries reached through its handle by exact name.

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/windows/unique_handle.h"

namespace quarnet::windows {

// `path` is the path the folder was opened by: only Wine's links are told by it.
std::unique_ptr<Folder> make_held_folder(UniqueFileHandle handle, std::string path);

}  // namespace quarnet::windows
