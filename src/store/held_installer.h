#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/release.h"
#include "platform/file_system.h"
#include "store/file_in_use.h"
#include "store/work_folder.h"

namespace quarnet {

// The checked installer, held open for reading only: nobody writes, renames or
// deletes it until the handle is let go, after the launch.
struct HeldInstaller {
    std::string path;  // its full path as the pass asked for it; the launch takes the file's final path
    std::unique_ptr<File> file{};
};

// The one read-back of a finished download: held, then its size and SHA-256
// through that handle against the release, the whole tried again while another
// program holds the file. Nothing when it is a link, a file with a second name,
// or other bytes than the list announced: then it is deleted (a link as a link).
// An OsError (it cannot be opened or read, or the user cancelled the wait)
// leaves the file where it is.
OsResult<std::optional<HeldInstaller>> hold_installer(const WorkFolder& folder, const std::string& name,
                                                      const Release& release, InUseWait& wait);

}  // namespace quarnet
