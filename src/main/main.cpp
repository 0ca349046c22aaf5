// The program entry: no arguments are read, and the exit code is 0 on every path.

#include "driver/setup.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything else may load a DLL: System32 only, never the exe's folder.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    using namespace quarnet;
    auto environment = windows::make_environment();
    auto error_texts = windows::make_error_texts();
    auto files = windows::make_file_system();
    auto http = windows::make_win_http();
    auto shell = windows::make_shell();
    auto clock = windows::make_clock();
    Platform platform{*environment, *error_texts, *files, *http, *shell, *clock};
    run_setup(platform);
    return 0;
}
