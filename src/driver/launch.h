#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace quarnet {

// ShellExecuteW "open", tried again while another program holds the installer;
// true when Windows reports that it started.
[[nodiscard]] bool launch_installer(const std::string& installer_path, Shell& shell, Clock& clock);
// The same for the held installer, by its final path; false when it has none
// that ShellExecuteW takes.
[[nodiscard]] bool launch_installer(File& installer, Shell& shell, Clock& clock);
// A final path ("\\?\C:\...", "\\?\UNC\server\share\...") in the form ShellExecuteW
// takes; nothing when that form would name another file.
std::optional<std::string> shell_path(std::string_view final_path);

}  // namespace quarnet
