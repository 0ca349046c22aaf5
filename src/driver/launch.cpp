// Apart from the run loop, so the launch can be checked against the real shell on its own.

#include "driver/setup.h"
#include "platform/text.h"
#include "store/file_in_use.h"

namespace quarnet {
namespace {

// ShellExecuteW's own numbers for a file in use.
constexpr std::intptr_t SE_ERR_ACCESSDENIED = 5;
constexpr std::intptr_t SE_ERR_SHARE = 26;

// One ShellExecuteW; a refusal of a file in use as the file error it stands for.
OsResult<void> start_once(const std::u16string& path, Shell& shell) {
    const std::intptr_t answer = shell.shell_execute_open(path);
    if (answer > 32) return {};
    if (answer == SE_ERR_ACCESSDENIED) return std::unexpected(OsError::from_code(ERROR_CODE_ACCESS_DENIED));
    if (answer == SE_ERR_SHARE) return std::unexpected(OsError::from_code(ERROR_CODE_SHARING_VIOLATION));
    return std::unexpected(OsError::from_code(ERROR_CODE_FILE_NOT_FOUND));  // any other refusal is final
}

}  // namespace

bool launch_installer(const std::string& installer_path, Shell& shell, Clock& clock) {
    OsResult<std::u16string> path = to_utf16_path(installer_path);
    if (!path) return false;
    InUseWait wait(clock, nullptr);  // the window is gone by now: nothing to cancel
    return wait.retry([&] { return start_once(*path, shell); }).has_value();
}

}  // namespace quarnet
