#pragma once

#include <optional>

#include "driver/run.h"

namespace quarnet {

// One pass, phase by phase: the installer list, the work folder and its sweep,
// an earlier download, the transfer, the final check.
[[nodiscard]] SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform,
                                          std::optional<WorkFolder>& work_folder);

}  // namespace quarnet
