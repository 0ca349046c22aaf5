#pragma once
// Who may use the work folder: it is made with a protected DACL for the current
// user, SYSTEM and the Administrators group, and an existing one is trusted only
// when one of them owns it. advapi32.dll comes from System32 (system_library.h).

#include <string>

#include "platform/os_error.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// CreateDirectoryW with a DACL that gives those three full control, inherited by
// all that is made inside, and takes nothing from the folder above.
OsResult<void> create_private_directory(const std::wstring& path);

// Whether the object's owner is one of those three. The handle needs READ_CONTROL.
OsResult<bool> owned_by_trusted(HANDLE object);

}  // namespace quarnet::windows
