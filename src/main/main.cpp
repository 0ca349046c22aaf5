// The program entry: no arguments are read, and the exit code is 0 on every path.

#include <string_view>

#include "driver/run.h"
#include "list_keys.h"  // LIST_KEYS and LIST_MIN_VERSION, written at configure time
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace {

// The signer the installer must have before it is started; empty (no check)
// unless the build names one with QUARNET_INSTALLER_PUBLISHER.
constexpr std::string_view INSTALLER_PUBLISHER = QUARNET_INSTALLER_PUBLISHER;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything else may load a DLL: System32 only, never the exe's folder.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The installer inherits the current directory; where the user started the
    // setup (Downloads, say) is where DLLs get planted.
    wchar_t system_folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(system_folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) ::SetCurrentDirectoryW(system_folder);

    using namespace quarnet;
    auto environment = windows::make_environment();
    auto error_texts = windows::make_error_texts();
    auto files = windows::make_file_system();
    auto http = windows::make_win_http();
    auto shell = windows::make_shell();
    auto clock = windows::make_clock();
    auto instance = windows::make_single_instance();
    auto signature = windows::make_installer_signature();
    auto wall_clock = windows::make_wall_clock();
    Platform platform{*environment,
                      *error_texts,
                      *files,
                      *http,
                      *shell,
                      *clock,
                      *instance,
                      {INSTALLER_PUBLISHER, signature.get()},
                      {LIST_KEYS, LIST_MIN_VERSION, wall_clock.get()}};
    run_setup(platform);
    return 0;
}
