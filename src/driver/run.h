#pragma once
// The loop of runs: each a new WebSession and progress window around one pass,
// then the launch, the failure prompt or the end.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "base/result.h"
#include "platform/platform.h"
#include "progress/progress_window.h"
#include "store/held_installer.h"
#include "store/work_folder.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::string_view USER_AGENT = "Quarnet-Setup/0.1.0";
inline constexpr HttpTimeouts SESSION_TIMEOUTS{30'000, 30'000, 30'000, 60'000};
// How long a second copy looks for the first one's window, and how often.
inline constexpr std::chrono::milliseconds SECOND_COPY_WAIT{5'000};
inline constexpr std::uint32_t WINDOW_LOOK_INTERVAL_MS = 100;

// What one pass ends with: the checked installer, held until launch_installer
// has returned; or its failure, or the user's Cancel.
using SetupOutcome = Result<HeldInstaller>;

// A pass that gets as far as the work folder leaves it held in the last argument,
// so that the driver acts on the outcome (launch, last-error.txt) in that same folder.
using SetupPass = std::function<SetupOutcome(WebSession&, ProgressWindow&, Platform&, std::optional<WorkFolder>&)>;

// The whole program: runs until a launch, a declined prompt or a cancel.
void run_setup(Platform& platform);
// The same loop around another pass (tests drive it with scripted outcomes).
void run_setup(Platform& platform, const SetupPass& pass);

}  // namespace quarnet
