#pragma once
// The work folder held open, its entries reached through its handle by exact name.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/file_system.h"
#include "platform/windows/unique_handle.h"

namespace quarnet::windows {

// The entry layouts a listing asks for, the best first: FILE_ID_BOTH_DIR_INFO,
// FILE_FULL_DIR_INFO, FILE_DIRECTORY_INFORMATION.
enum class ListLayout : std::uint8_t { IdBoth, Full, Plain };

// One call that fills `buffer` with the next entries in `layout`, from the first one when `restart`.
using ListCall = OsResult<void> (*)(HANDLE folder, ListLayout layout, bool restart, std::span<std::uint64_t> buffer);

// The real one: GetFileInformationByHandleEx, or NtQueryDirectoryFile for the plain layout.
OsResult<void> list_entries(HANDLE folder, ListLayout layout, bool restart, std::span<std::uint64_t> buffer);

// A listing of the folder open on `folder` through `call`.
std::unique_ptr<DirectoryListing> make_listing(HANDLE folder, ListCall call = list_entries);

// `path` is the path the folder was opened by: only Wine's links are told by it.
std::unique_ptr<Folder> make_held_folder(UniqueFileHandle handle, std::string path);

}  // namespace quarnet::windows
