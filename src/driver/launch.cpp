// Apart from the run loop, so the launch can be checked against the real shell on its own.

#include "driver/setup.h"
#include "platform/text.h"

namespace quarnet {

bool launch_installer(const std::string& installer_path, Shell& shell) {
    OsResult<std::u16string> path = to_utf16_path(installer_path);
    if (!path) return false;
    return shell.shell_execute_open(*path) > 32;
}

}  // namespace quarnet
