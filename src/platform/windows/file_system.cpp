#include "platform/file_system.h"

#include <string>
#include <utility>

#include "platform/text.h"
#include "platform/windows/file_calls.h"
#include "platform/windows/folder_security.h"
#include "platform/windows/held_folder.h"
#include "platform/windows/system_library.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

// GetTempPath2W where kernel32 has it (newer Windows), else GetTempPathW.
using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);

class WindowsFileSystem final : public FileSystem {
public:
    OsResult<std::string> temp_directory() override {
        TempPathFunction get_temp_path = SYSTEM_FUNCTION_OF_TYPE(kernel32_library, GetTempPath2W, TempPathFunction);
        if (get_temp_path == nullptr) get_temp_path = &::GetTempPathW;
        std::wstring buffer(512, L'\0');
        for (;;) {
            DWORD length = get_temp_path(static_cast<DWORD>(buffer.size()), buffer.data());
            if (length == 0) return call_failed("GetTempPathW");
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            buffer.assign(length, L'\0');  // too small: `length` is what it needs, NUL included
        }
        return to_utf8_lossy(from_wide(buffer));
    }

    OsResult<void> create_directory(const std::string& path) override {
        auto wide = TRY(wide_path(path));
        if (!::CreateDirectoryW(wide.c_str(), nullptr)) return call_failed("CreateDirectoryW");
        return {};
    }

    OsResult<void> create_private_directory(const std::string& path) override {
        return windows::create_private_directory(TRY(wide_path(path)));
    }

    OsResult<FileInfo> file_info(const std::string& path) override {
        // No access asked for, so even a file another program holds with share mode 0
        // opens; backup semantics let folders open too.
        auto handle = TRY(create_file(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
        FileInfo result = file_info_of(TRY(handle_info(handle.get())));
        result.reparse_point = false;
        return result;
    }

    OsResult<OpenedFolder> open_folder(const std::string& path, FolderUse use) override {
        // Without FILE_SHARE_DELETE: while it is held, nobody renames, moves or deletes it.
        DWORD access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
        if (use == FolderUse::Remove) access |= DELETE;
        auto handle =
            TRY(create_file(path, access, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                            FILE_SHARE_READ | FILE_SHARE_WRITE));
        auto info = TRY(handle_info(handle.get()));
        OpenedFolder opened;
        opened.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        opened.reparse_point = TRY(reparse_of(handle.get(), path)).any_link();
        opened.owner = TRY(owner_of(handle.get()));
        opened.folder = make_held_folder(std::move(handle), path);
        return opened;
    }
};

}  // namespace

std::unique_ptr<FileSystem> make_file_system() { return std::make_unique<WindowsFileSystem>(); }

}  // namespace quarnet::windows
