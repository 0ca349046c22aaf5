#pragma once
// Who may use the work folder: it is made with a protected DACL for the current
// user, SYSTEM and the Administrators group, and an existing one is trusted only
// when one of them owns it. advapi32.dll comes from System32 (system_library.h).

#include <string>

#include "base/os_error.h"
#include "platform/file_system.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// CreateDirectoryW with a DACL that gives those three full control, inherited by
// all that is made inside, and takes nothing from the folder above.
OsResult<void> create_private_directory(const std::wstring& path);

// Which of those three owns the object, if any, or None on a volume without
// FILE_PERSISTENT_ACLS; the handle needs READ_CONTROL.
OsResult<FolderOwner> owner_of(HANDLE object);

// Gives the folder open on `folder` that same DACL, through a second handle of
// its own with WRITE_DAC (an owner is always granted that), to the folder alone:
// SetSecurityInfo would push the inheritable entries into everything inside.
OsResult<void> make_private(HANDLE folder);

// A security descriptor made from SDDL in which "{user}" stands for the current user's SID.
OsResult<UniqueLocalMemory<PSECURITY_DESCRIPTOR>> descriptor_for_user(std::wstring sddl);

}  // namespace quarnet::windows
