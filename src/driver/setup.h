#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "base/result.h"
#include "platform/platform.h"
#include "progress/progress_window.h"
#include "store/held_installer.h"
#include "store/work_folder.h"
#include "web/http_exchange.h"

namespace quarnet {

inline constexpr std::string_view USER_AGENT = "Quarnet-Setup/0.1.0";
inline constexpr HttpTimeouts SESSION_TIMEOUTS{30'000, 30'000, 30'000, 60'000};
inline constexpr std::string_view LAST_ERROR_FILE = "last-error.txt";
inline constexpr std::string_view NO_DIALOG_VARIABLE = "QUARNET_SETUP_NO_DIALOG";

// The checked installer, held until launch_installer has returned.
struct Ready {
    HeldInstaller installer;
};
struct SetupCancelled {};

using SetupOutcome = std::variant<Ready, FailureMessage, SetupCancelled>;

// A pass that gets as far as the work folder leaves it held in the last argument,
// so that the driver acts on the outcome (launch, last-error.txt) in that same folder.
using SetupPass = std::function<SetupOutcome(WebSession&, ProgressWindow&, Platform&, std::optional<WorkFolder>&)>;

// The whole program: runs until a launch, a declined prompt or a cancel.
void run_setup(Platform& platform);
// The same loop around another pass (tests drive it with scripted outcomes).
void run_setup(Platform& platform, const SetupPass& pass);

// One pass, phase by phase: the installer list, the work folder and its sweep,
// an earlier download, the transfer, the final check.
[[nodiscard]] SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform,
                                          std::optional<WorkFolder>& work_folder);

// ShellExecuteW "open", tried again while another program holds the installer;
// true when Windows reports that it started.
[[nodiscard]] bool launch_installer(const std::string& installer_path, Shell& shell, Clock& clock);
// The same for the held installer, by its final path; false when it has none
// that ShellExecuteW takes.
[[nodiscard]] bool launch_installer(File& installer, Shell& shell, Clock& clock);
// A final path ("\\?\C:\...", "\\?\UNC\server\share\...") in the form ShellExecuteW
// takes; nothing when that form would name another file.
std::optional<std::string> shell_path(std::string_view final_path);

// Leaves the message in last-error.txt, in the pass's work folder when it has
// one (else the prompt opens it), lets the folder go and asks Retry or Cancel;
// true for Retry.
[[nodiscard]] bool show_failure_prompt(const FailureMessage& message, Platform& platform,
                                       std::optional<WorkFolder> work_folder = std::nullopt);

}  // namespace quarnet
