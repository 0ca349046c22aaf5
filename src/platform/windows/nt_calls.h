#pragma once
// Opening and renaming relative to a held folder's handle, by exact name: ntdll's
// NtCreateFile and NtSetInformationFile, which take the folder as the root of
// the name, so no path is looked up again and no trailing dot or space is dropped.

#include <cstdint>
#include <span>
#include <string>

#include "base/os_error.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// NtCreateFile's dispositions and options.
inline constexpr ULONG NT_OPEN = 1;
inline constexpr ULONG NT_CREATE = 2;
inline constexpr ULONG NT_OPEN_IF = 3;
inline constexpr ULONG NT_NON_DIRECTORY_FILE = 0x40;

// The entry `name` of `folder`, a link opened rather than followed.
OsResult<UniqueFileHandle> open_relative(HANDLE folder, const std::string& name, ACCESS_MASK access, ULONG share,
                                         ULONG disposition, ULONG options);

enum class RenameWay {
    Plain,       // FileRenameInformation, replacing an entry of that name
    PosixInUse,  // FileRenameInformationEx with POSIX semantics: replaces a file still in use too
};

// Gives the file open on `file` (with DELETE) the name `name` in `folder`.
OsResult<void> rename_relative(HANDLE file, HANDLE folder, const std::string& name, RenameWay way);

// The next entries of the folder open on `folder`, in the FILE_DIRECTORY_INFORMATION
// layout (NtQueryDirectoryFile), from the first one when `restart`.
OsResult<void> query_directory(HANDLE folder, std::span<std::uint64_t> buffer, bool restart);

// The failure of the native call named, its NTSTATUS as the Win32 error code it stands for.
std::unexpected<OsError> status_failed(const char* call, LONG status);

}  // namespace quarnet::windows
