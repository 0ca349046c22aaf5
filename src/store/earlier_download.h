#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "base/failure_message.h"
#include "list/installer_list.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/digest.h"
#include "store/download_files.h"

namespace quarnet {

// The bytes at the start of the partial file that the transfer takes over.
struct ResumePoint {
    std::uint64_t offset = 0;
    DigestState digest;  // over exactly the first `offset` bytes
};

struct Reuse {
    std::string installer_path;
};

using EarlierDownload = std::variant<Reuse, ResumePoint, FailureMessage>;

[[nodiscard]] EarlierDownload check_earlier_download(const InstallerList& list, const DownloadPaths& paths,
                                                     ProgressWindow& window, FileSystem& files, ErrorTexts& texts);

}  // namespace quarnet
