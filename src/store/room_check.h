#pragma once

#include "base/release.h"
#include "base/result.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "store/partial_download.h"

namespace quarnet {

// Before the first request: the message a full disk would end the download with,
// when the work folder's volume has less room than the bytes still to come.
// Room that cannot be measured is left to the writes to find out.
[[nodiscard]] Result<void> check_room(Folder& folder, const Release& release, const PartialDownload& partial,
                                      ErrorTexts& texts);

}  // namespace quarnet
