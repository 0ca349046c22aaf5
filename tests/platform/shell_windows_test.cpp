// The real COM, progress dialog and ShellExecuteW calls, under Wine on Xvfb.
// MessageBoxW is left out: it would wait for a click.

#include <gtest/gtest.h>

#include <string>

#include "driver/launch.h"
#include "platform/text.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"
#include "progress/progress_window.h"

namespace quarnet {
namespace {

std::wstring folder_of_this_program() {
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring temp_folder() {
    wchar_t path[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, length);
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The started program runs on its own; give it a few seconds to leave its marker.
bool appears_within_seconds(const std::wstring& path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (exists(path)) return true;
        ::Sleep(50);
    }
    return exists(path);
}

struct ShellWindows : ::testing::Test {
    std::unique_ptr<Shell> shell = windows::make_shell();
    std::unique_ptr<Clock> clock = windows::make_clock();
    void SetUp() override { shell->initialize_com(); }
};

TEST_F(ShellWindows, ProgressWindowOpensTakesItsLinesAndCloses) {
    auto window = ProgressWindow::open(*shell);
    ASSERT_NE(window, nullptr);
    window->set_line(1, "Downloading Pelorin 2.1 (85 MB)");
    window->set_line(2, "Connection lost \xE2\x80\x93 trying again (1 of 8)\xE2\x80\xA6");
    window->reset_timer();
    window->set_progress(0, 0);
    window->set_progress(42'000'000, 85'000'000);
    EXPECT_FALSE(window->cancel_requested());
    window.reset();

    // A second window after the first has gone, as a Retry makes one.
    auto again = ProgressWindow::open(*shell);
    EXPECT_NE(again, nullptr);
}

TEST_F(ShellWindows, LaunchStartsTheProgramAtItsExactPath) {
    // A folder name outside ASCII checks that the path reaches Windows unchanged.
    std::wstring folder = temp_folder() + L"quarnet launch \u00FC\u2013\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring program = folder + L"Pelorin setup 2.1.exe";
    std::wstring marker = program + L".started";
    ::DeleteFileW(marker.c_str());
    ASSERT_TRUE(::CopyFileW((folder_of_this_program() + L"quarnet_launch_marker.exe").c_str(), program.c_str(), FALSE));

    std::string utf8 = to_utf8_lossy(windows::from_wide(program));
    EXPECT_TRUE(launch_installer(utf8, *shell, *clock));
    EXPECT_TRUE(appears_within_seconds(marker, 10));
}

TEST_F(ShellWindows, ProgramHeldForWritingIsRefusedAsASharingViolation) {
    std::wstring program = temp_folder() + L"quarnet-held-installer.exe";
    ASSERT_TRUE(::CopyFileW((folder_of_this_program() + L"quarnet_launch_marker.exe").c_str(), program.c_str(), FALSE));
    windows::UniqueFileHandle writer(
        ::CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(shell->shell_execute_open(windows::from_wide(program)), 26);  // SE_ERR_SHARE
}

TEST_F(ShellWindows, MissingProgramIsNotStarted) {
    std::wstring missing = temp_folder() + L"quarnet-no-such-installer.exe";
    ::DeleteFileW(missing.c_str());
    EXPECT_EQ(shell->shell_execute_open(windows::from_wide(missing)), 2);  // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(launch_installer(to_utf8_lossy(windows::from_wide(missing)), *shell, *clock));
}

}  // namespace
}  // namespace quarnet
