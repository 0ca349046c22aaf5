#pragma once

#include <variant>

#include "base/release.h"
#include "base/result.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "progress/progress_window.h"
#include "store/download_files.h"
#include "store/held_installer.h"
#include "store/partial_download.h"
#include "store/work_folder.h"

namespace quarnet {

// What an earlier run left: a complete copy, read back and held (nothing is
// left to download), or the partial file to go on from, opened once and hashed.
using EarlierDownload = std::variant<HeldInstaller, PartialDownload>;

// Cancelled only while it waits for a file that another program holds.
[[nodiscard]] Result<EarlierDownload> check_earlier_download(const Release& release, const WorkFolder& folder,
                                                             const DownloadPaths& paths, ProgressWindow& window,
                                                             ErrorTexts& texts, Clock& clock);

}  // namespace quarnet
