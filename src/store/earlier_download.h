#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "base/release.h"
#include "base/result.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/digest.h"
#include "store/download_files.h"
#include "store/file_in_use.h"
#include "store/held_installer.h"
#include "store/work_folder.h"

namespace quarnet {

// The partial file, held from here to the final check, and the bytes at its
// start that the transfer takes over.
struct ResumePoint {
    std::unique_ptr<OwnFile> partial;  // read and write, shared for reading only; positioned at `offset`
    std::uint64_t offset = 0;
    DigestState digest{};  // over exactly the first `offset` bytes
};

struct Reuse {
    HeldInstaller installer;
};

using EarlierDownload = std::variant<Reuse, ResumePoint, FailureMessage, Cancelled>;

// Cancelled only while it waits for a file that another program holds.
[[nodiscard]] EarlierDownload check_earlier_download(const Release& release, const WorkFolder& folder,
                                                     const DownloadPaths& paths, ProgressWindow& window,
                                                     ErrorTexts& texts, Clock& clock);

}  // namespace quarnet
