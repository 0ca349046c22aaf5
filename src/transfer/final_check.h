#pragma once

#include <string>

#include "base/failure_message.h"
#include "list/installer_list.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"
#include "store/download_files.h"
#include "transfer/transfer.h"

namespace quarnet {

// The installer path once the sound download has its final name.
Result<std::string> final_check(TransferComplete complete, const InstallerList& list, const DownloadPaths& paths,
                                ProgressWindow& window, FileSystem& files, ErrorTexts& texts);

}  // namespace quarnet
