// Apart from the run loop, so the launch can be checked against the real shell on its own.

#include "driver/launch.h"

#include <cstddef>

#include "platform/text.h"
#include "store/file_in_use.h"

namespace quarnet {
namespace {

// One ShellExecuteW; a refusal of a file in use as the file error it stands for.
OsResult<void> start_once(const std::u16string& path, Shell& shell) {
    const std::intptr_t answer = shell.shell_execute_open(path);
    if (answer > 32) return {};
    if (answer == SHELL_ERROR_ACCESS_DENIED) return std::unexpected(OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    if (answer == SHELL_ERROR_SHARE) return std::unexpected(OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    return std::unexpected(OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));  // any other refusal is final
}

}  // namespace

std::optional<std::string> shell_path(std::string_view final_path) {
    std::string path;
    if (final_path.starts_with("\\\\?\\UNC\\")) {
        path = "\\\\" + std::string(final_path.substr(8));
    } else if (final_path.starts_with("\\\\?\\")) {
        path = final_path.substr(4);
    } else {
        path = final_path;
    }
    // Without "\\?\" Windows drops a trailing dot or space from each name, which
    // would lead to another file.
    for (std::size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
        if (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' ')) return std::nullopt;
    }
    if (path.ends_with('.') || path.ends_with(' ')) return std::nullopt;
    return path;
}

bool launch_installer(const std::string& installer_path, Shell& shell, Clock& clock) {
    OsResult<std::u16string> path = to_utf16_path(installer_path);
    if (!path) return false;
    InUseWait wait(clock, nullptr);  // the window is gone by now: nothing to cancel
    return wait.retry([&] { return start_once(*path, shell); }).has_value();
}

bool launch_installer(File& installer, Shell& shell, Clock& clock) {
    // The checked file's own path, every link in it resolved: a folder on the way
    // that is pointed elsewhere meanwhile changes nothing. None of its folders can be
    // renamed while the file in it is held open.
    auto final_path = installer.final_path();
    if (!final_path) return false;
    auto path = shell_path(*final_path);
    return path && launch_installer(*path, shell, clock);
}

}  // namespace quarnet
