// The Windows file system against the contract the double meets, on real files
// under Wine; and the temporary directory it names.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "contract/file_system_contract.h"
#include "platform/text.h"
#include "platform/windows/file_calls.h"
#include "platform/windows/held_folder.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet {
namespace {

std::wstring wide(const std::string& utf8) { return windows::to_wide(to_utf16(utf8)); }

// Deletes a folder and everything below it, read-only files included; a link is
// removed as a link.
void remove_tree(const std::wstring& folder) {
    if (!folder.starts_with(L"\\\\?\\")) return remove_tree(L"\\\\?\\" + folder);  // names exactly as listed
    WIN32_FIND_DATAW data;
    HANDLE find =
        ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link) {
                remove_tree(path);
            } else if (!::DeleteFileW(path.c_str())) {
                ::RemoveDirectoryW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

using UnixName = char*(CDECL*)(LPCWSTR);

// Wine's kernel32 names the Unix path of a Windows one; Windows has no such call.
UnixName wine_unix_name() {
    return reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
}
bool running_on_wine() { return wine_unix_name() != nullptr; }

// Starts a Unix program with its arguments (Unix paths, quoted as Windows quotes
// them): Wine starts Unix programs, and Unix links are what Wine calls links.
// The wait is no promise: Wine's handle may not follow a Unix process.
bool run_unix(const wchar_t* program, const std::string& arguments) {
    std::wstring command = wide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    ::WaitForSingleObject(process.hProcess, 10'000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

std::string unix_path(const std::string& path) {
    const char* name = wine_unix_name()(wide(path).c_str());
    return name != nullptr ? name : "";
}

bool make_unix_link(const std::string& path, const std::string& target) {
    const std::string parent = unix_path(path.substr(0, path.rfind('\\')));
    return run_unix(L"Z:\\bin\\ln", "/bin/ln -s \"" + unix_path(target) + "\" \"" + parent + "/" +
                                        path.substr(path.rfind('\\') + 1) + "\"");
}

// Wine cannot remove a Unix link to a folder; rm can.
void remove_whole(const std::string& folder) {
    if (running_on_wine()) {
        run_unix(L"Z:\\bin\\rm", "/bin/rm -rf \"" + unix_path(folder) + "\"");
    } else {
        remove_tree(wide(folder));
    }
}

class WindowsEnvironment {
public:
    ~WindowsEnvironment() {
        holders_.clear();
        if (!folder_.empty()) remove_whole(folder_);
    }

    FileSystem& files() { return *files_; }

    // A name of its own every time: Wine runs a Unix program without waiting for
    // it, so an earlier test's folder may still be going.
    std::string new_folder() {
        static int counter = 0;
        folder_ = files_->temp_directory().value() + "quarnet-contract-" + std::to_string(::GetCurrentProcessId()) +
                  "-" + std::to_string(::GetTickCount64()) + "-" + std::to_string(++counter);
        EXPECT_TRUE(files_->create_directory(folder_));
        return folder_;
    }

    void hold(const std::string& path, Sharing sharing) {
        DWORD share = (sharing.read ? FILE_SHARE_READ : 0) | (sharing.write ? FILE_SHARE_WRITE : 0) |
                      (sharing.del ? FILE_SHARE_DELETE : 0);
        holders_[path] = windows::UniqueFileHandle(
            ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holders_[path].valid()) << path;
    }
    void release(const std::string& path) { holders_.erase(path); }

    void make_read_only(const std::string& path) {
        ASSERT_TRUE(::SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    }

    // Wine shows a Unix link to a file as the file itself, so there a link that
    // Windows would show can be made to a folder only.
    bool make_link(const std::string& path, const std::string& target) {
        DWORD attributes = ::GetFileAttributesW(wide(target).c_str());
        const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        constexpr DWORD UNPRIVILEGED = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
        if (running_on_wine()) {
            if (!folder || !make_unix_link(path, target)) return false;
        } else if (!::CreateSymbolicLinkW(wide(path).c_str(), wide(target).c_str(),
                                          (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | UNPRIVILEGED)) {
            return false;
        }
        for (int tries = 0; tries < 100; ++tries, ::Sleep(50)) {  // ln may still be running
            if (::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        }
        return false;
    }

private:
    std::unique_ptr<FileSystem> files_ = windows::make_file_system();
    std::map<std::string, windows::UniqueFileHandle> holders_;
    std::string folder_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Windows, FileSystemContract, WindowsEnvironment);

TEST(WindowsFileSystem, TemporaryDirectoryFollowsTheEnvironment) {
    wchar_t expected[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, expected);
    ASSERT_GT(length, 0u);
    auto temp = windows::make_file_system()->temp_directory();
    ASSERT_TRUE(temp);
    EXPECT_EQ(*temp, to_utf8_lossy(windows::from_wide(std::wstring_view(expected, length))));
    EXPECT_EQ(temp->back(), '\\');
}

// Where the layouts before it are refused, each one lists the same entries on the same handle.
TEST(WindowsFileSystem, ListingFallsBackToLayoutsWithoutIds) {
    WindowsEnvironment environment;
    const std::string folder = environment.new_folder();
    ASSERT_TRUE(environment.files().create_directory(folder + "\\a"));
    windows::UniqueFileHandle handle(::CreateFileW(wide(folder).c_str(), FILE_LIST_DIRECTORY, windows::SHARE_ALL,
                                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    static windows::ListLayout first_taken;
    for (auto layout : {windows::ListLayout::Full, windows::ListLayout::Plain}) {
        first_taken = layout;
        auto listing = windows::make_listing(handle.get(), [](HANDLE f, auto l, bool restart, auto buffer) {
            if (l < first_taken) return OsResult<void>(std::unexpected(OsError::from_code(ERROR_NOT_SUPPORTED)));
            return windows::list_entries(f, l, restart, buffer);
        });
        int listed = 0;
        while (listing->next()) ++listed;
        EXPECT_EQ(listed, 3) << static_cast<int>(layout);  // ".", "..", "a"
    }
}

TEST(WindowsFileSystem, OnlyNameSurrogatesAreLinks) {
    for (DWORD tag : {IO_REPARSE_TAG_SYMLINK, IO_REPARSE_TAG_MOUNT_POINT, IO_REPARSE_TAG_DEDUP, IO_REPARSE_TAG_WOF}) {
        const bool link = tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
        EXPECT_EQ(windows::is_link(FILE_ATTRIBUTE_REPARSE_POINT, tag), link) << tag;
    }
}

}  // namespace
}  // namespace quarnet
