#pragma once
// The Windows handle behind a File of the Windows file system, for the few
// calls that take the open file itself rather than its path.

#include "platform/file_system.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// Every File of the Windows build comes from its file system (file_system.cpp).
// The handle stays the File's own.
HANDLE native_handle(File& file);

}  // namespace quarnet::windows
