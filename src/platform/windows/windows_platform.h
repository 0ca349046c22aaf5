#pragma once
// The real platform services of the Windows build, one maker each.

#include <memory>

#include "platform/platform.h"

namespace quarnet::windows {

std::unique_ptr<Environment> make_environment();         // environment.cpp
std::unique_ptr<ErrorTexts> make_error_texts();          // error_texts.cpp
std::unique_ptr<FileSystem> make_file_system();          // file_system.cpp
std::unique_ptr<WinHttp> make_win_http();                // win_http.cpp
std::unique_ptr<Shell> make_shell();                     // shell.cpp
std::unique_ptr<Clock> make_clock();                     // clock.cpp
std::unique_ptr<WallClock> make_wall_clock();            // wall_clock.cpp
std::unique_ptr<SingleInstance> make_single_instance();  // single_instance.cpp

// System32's trust provider, loaded at the first check (installer_signature.cpp).
std::unique_ptr<InstallerSignature> make_installer_signature();

}  // namespace quarnet::windows
