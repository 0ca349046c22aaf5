// Apart from the run loop, so the launch can be checked against the real shell on its own.

#include "driver/launch.h"

#include <cstddef>

#include "platform/text.h"
#include "store/file_in_use.h"

namespace quarnet {

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
    // A scanner's lock on the new file is waited out. Every other refusal is an
    // answer (the user declined the elevation or SmartScreen, a virus verdict, a
    // policy): asking again would only ask the user again.
    InUseWait wait(clock, nullptr);  // the window is gone by now: nothing to cancel
    return wait.retry_while_locked([&] { return shell.shell_execute_open(*path); }).has_value();
}

bool launch_installer(File& installer, const std::string& asked_path, Shell& shell, Clock& clock) {
    // The checked file's own path, every link in it resolved: a folder on the way
    // that is pointed elsewhere meanwhile changes nothing. None of its folders can be
    // renamed while the file in it is held open.
    auto final_path = installer.final_path();
    auto path = final_path ? shell_path(*final_path) : std::nullopt;
    // A volume the mount manager does not know (a RAM disk, a file system in user
    // mode, a letter made by DefineDosDevice) has no such path: the path the work
    // folder was opened by will do, once it is seen to reach this very file.
    if (!path) {
        path = shell_path(asked_path);
        if (!path || !installer.is_at(*path).value_or(false)) return false;
    }
    return launch_installer(*path, shell, clock);
}

}  // namespace quarnet
