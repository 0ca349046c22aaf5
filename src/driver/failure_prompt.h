#pragma once

#include <optional>
#include <string_view>

#include "base/result.h"
#include "platform/platform.h"
#include "store/work_folder.h"

namespace quarnet {

inline constexpr std::string_view LAST_ERROR_FILE = "last-error.txt";
inline constexpr std::string_view NO_DIALOG_VARIABLE = "QUARNET_SETUP_NO_DIALOG";

// Leaves the message in last-error.txt, in the pass's work folder when it has
// one (else the prompt opens it), lets the folder go and asks Retry or Cancel;
// true for Retry.
[[nodiscard]] bool show_failure_prompt(const FailureMessage& message, Platform& platform,
                                       std::optional<WorkFolder> work_folder = std::nullopt);

}  // namespace quarnet
