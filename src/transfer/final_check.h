#pragma once

#include <string>

#include "base/release.h"
#include "base/result.h"
#include "platform/clock.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/download_files.h"
#include "store/held_installer.h"
#include "store/partial_download.h"
#include "store/work_folder.h"

namespace quarnet {

// The installer under its final name, given through the partial file's own
// handle, then read back and held. Cancelled only while it waits for a file
// that another program holds.
[[nodiscard]] Result<HeldInstaller> final_check(PartialDownload complete, const Release& release,
                                                const WorkFolder& folder, const DownloadPaths& paths,
                                                ProgressWindow& window, ErrorTexts& texts, Clock& clock);

}  // namespace quarnet
