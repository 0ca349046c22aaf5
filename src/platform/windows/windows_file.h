#pragma once
// The handle behind a File that the Windows file system opened, for checks that
// must look at the very file held open (a signature, say) rather than a name.

#include "platform/file_system.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

// Only for files from make_file_system(); they all carry a handle.
HANDLE native_handle(File& file);

}  // namespace quarnet::windows
