#pragma once

#include <string>
#include <variant>

#include "driver/failure_message.h"
#include "platform/platform.h"
#include "progress/progress_window.h"
#include "web/web_session.h"

namespace quarnet {

inline constexpr std::string_view USER_AGENT = "Quarnet-Setup/0.1.0";

struct Ready {
    std::string installer_path;
};
struct SetupCancelled {};

using SetupOutcome = std::variant<Ready, FailureMessage, SetupCancelled>;

// The whole program: runs until a launch, a declined prompt or a cancel.
void run_setup(Platform& platform);

// One pass of the five phases, A to E.
SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform);

// ShellExecuteW "open"; true when Windows reports that the installer started.
bool launch_installer(const std::string& installer_path, Shell& shell);

// Leaves the message in last-error.txt and asks Retry or Cancel; true for Retry.
bool show_failure_prompt(const FailureMessage& message, Platform& platform);

}  // namespace quarnet
