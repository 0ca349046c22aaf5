#include "platform/file_system.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_file.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

// ReadFile and WriteFile take a DWORD count; larger buffers go in pieces of this size.
constexpr std::size_t MAX_IO_PIECE = std::size_t{1} << 31;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// FileRenameInfoEx; mingw-w64 declares it only for _WIN32_WINNT above 0x0A000002.
constexpr auto FILE_RENAME_INFO_EX = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

std::unexpected<OsError> last_error(DWORD error) { return std::unexpected(OsError::from_code(error)); }

// The path as Windows takes it: UTF-16, NUL-terminated, refused when it holds a NUL.
OsResult<std::wstring> wide_path(const std::string& path) {
    auto utf16 = to_utf16_path(path);
    if (!utf16) return std::unexpected(utf16.error());
    return to_wide(*utf16);
}

OsResult<UniqueFileHandle> create_file(const std::string& path, DWORD access, DWORD disposition, DWORD flags,
                                       DWORD share = SHARE_ALL) {
    auto wide = wide_path(path);
    if (!wide) return std::unexpected(wide.error());
    HANDLE handle = ::CreateFileW(wide->c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_error(::GetLastError());
    return UniqueFileHandle(handle);
}

OsResult<BY_HANDLE_FILE_INFORMATION> handle_info(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return last_error(::GetLastError());
    return info;
}

bool is_link(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The name's attributes tell a link too: Wine shows a Unix link to a folder
// there, while its handles reach what the link points to.
bool name_is_link(const std::string& path) {
    auto wide = wide_path(path);
    return wide && is_link(::GetFileAttributesW(wide->c_str()));
}

// Deletes the entry the handle was opened on (with DELETE, links not followed).
OsResult<void> delete_by_handle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return last_error(::GetLastError());
    }
    return {};  // gone when the handle closes
}

OsResult<void> remove_link_at(const std::string& path) {
    auto handle = create_file(path, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle) return std::unexpected(handle.error());
    auto info = handle_info(handle->get());
    if (!info) return std::unexpected(info.error());
    // A handle that reached the target would delete the target.
    if (!is_link(info->dwFileAttributes)) return last_error(ERROR_ALREADY_EXISTS);
    return delete_by_handle(handle->get());
}

// Opens a file of the program's own, never through a link: a link found there
// (through the handle, or by name) is removed and the file made anew.
OsResult<UniqueFileHandle> open_own_file(const std::string& path, DWORD access, DWORD share) {
    for (int round = 0; round < 2; ++round) {
        DWORD disposition = round == 0 ? OPEN_ALWAYS : CREATE_NEW;
        auto handle = create_file(path, access, disposition, FILE_FLAG_OPEN_REPARSE_POINT, share);
        if (!handle) return handle;
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        if (!is_link(info->dwFileAttributes) && !name_is_link(path)) return handle;
        handle->reset();
        if (auto removed = remove_link_at(path); !removed) return std::unexpected(removed.error());
    }
    return last_error(ERROR_ALREADY_EXISTS);
}

OsResult<void> set_position(HANDLE handle, std::uint64_t offset, DWORD method) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle, distance, nullptr, method)) return last_error(::GetLastError());
    return {};
}

class WindowsFile final : public File {
public:
    explicit WindowsFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    OsResult<std::size_t> read(std::span<std::byte> buffer) override {
        auto count = static_cast<DWORD>(std::min(buffer.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::ReadFile(handle_.get(), buffer.data(), count, &done, nullptr)) return last_error(::GetLastError());
        return done;
    }

    OsResult<std::size_t> write(std::span<const std::byte> bytes) override {
        auto count = static_cast<DWORD>(std::min(bytes.size(), MAX_IO_PIECE));
        DWORD done = 0;
        if (!::WriteFile(handle_.get(), bytes.data(), count, &done, nullptr)) return last_error(::GetLastError());
        return done;
    }

    OsResult<void> truncate(std::uint64_t length) override {
        if (auto moved = set_position(handle_.get(), length, FILE_BEGIN); !moved) return moved;
        if (!::SetEndOfFile(handle_.get())) return last_error(::GetLastError());
        // The position now stands at the new end, where the next write belongs.
        return {};
    }

    OsResult<std::uint64_t> length() override {
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(handle_.get(), &size)) return last_error(::GetLastError());
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    HANDLE handle() const { return handle_.get(); }

private:
    UniqueFileHandle handle_;
};

}  // namespace

HANDLE native_handle(File& file) { return static_cast<WindowsFile&>(file).handle(); }

namespace {

class WindowsListing final : public DirectoryListing {
public:
    WindowsListing(UniqueFindHandle handle, std::string first)
        : handle_(std::move(handle)), pending_(std::move(first)) {}

    std::optional<std::string> next() override {
        if (pending_) return std::exchange(pending_, std::nullopt);
        if (!handle_.valid()) return std::nullopt;
        WIN32_FIND_DATAW data;
        // ERROR_NO_MORE_FILES is the normal end; any other failure ends the listing as well.
        if (!::FindNextFileW(handle_.get(), &data)) {
            handle_.reset();
            return std::nullopt;
        }
        return to_utf8_lossy(from_wide(data.cFileName));
    }

private:
    UniqueFindHandle handle_;
    std::optional<std::string> pending_;
};

using TempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W where kernel32 has it (newer Windows), else GetTempPathW; looked up once.
TempPathFunction temp_path_function() {
    static const TempPathFunction function = [] {
        HMODULE kernel32 = ::GetModuleHandleA("kernel32");
        TempPathFunction found = nullptr;
        if (kernel32 != nullptr) {
            found = reinterpret_cast<TempPathFunction>(
                reinterpret_cast<void*>(::GetProcAddress(kernel32, "GetTempPath2W")));
        }
        return found != nullptr ? found : &::GetTempPathW;
    }();
    return function;
}

class WindowsFileSystem final : public FileSystem {
public:
    OsResult<std::string> temp_directory() override {
        TempPathFunction get_temp_path = temp_path_function();
        std::wstring buffer(512, L'\0');
        for (;;) {
            DWORD length = get_temp_path(static_cast<DWORD>(buffer.size()), buffer.data());
            if (length == 0) return last_error(::GetLastError());
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            buffer.assign(length, L'\0');  // too small: `length` is what it needs, NUL included
        }
        return to_utf8_lossy(from_wide(buffer));
    }

    OsResult<void> create_directory(const std::string& path) override {
        auto wide = wide_path(path);
        if (!wide) return std::unexpected(wide.error());
        if (!::CreateDirectoryW(wide->c_str(), nullptr)) return last_error(::GetLastError());
        return {};
    }

    OsResult<FileInfo> file_info(const std::string& path) override {
        // No access asked for, so even a file another program holds with share mode 0
        // opens; backup semantics let folders open too.
        auto handle = create_file(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (!handle) return std::unexpected(handle.error());
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandle(handle->get(), &info)) return last_error(::GetLastError());
        FileInfo result;
        result.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        result.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        result.length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        return result;
    }

    OsResult<FileInfo> entry_info(const std::string& path) override {
        auto handle = create_file(path, 0, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        FileInfo result;
        result.directory = (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        result.read_only = (info->dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        result.length = (static_cast<std::uint64_t>(info->nFileSizeHigh) << 32) | info->nFileSizeLow;
        result.reparse_point = is_link(info->dwFileAttributes) || name_is_link(path);
        result.links = info->nNumberOfLinks;
        return result;
    }

    OsResult<void> remove_link(const std::string& path) override { return remove_link_at(path); }

    OsResult<HeldFile> open_held(const std::string& path) override {
        auto handle = create_file(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, FILE_SHARE_READ);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        HeldFile held;
        held.reparse_point = is_link(info->dwFileAttributes) || name_is_link(path);
        held.links = info->nNumberOfLinks;
        held.file = std::make_unique<WindowsFile>(std::move(*handle));
        return held;
    }

    OsResult<std::unique_ptr<File>> open_for_reading(const std::string& path) override {
        auto handle = create_file(path, GENERIC_READ, OPEN_EXISTING, 0);
        if (!handle) return std::unexpected(handle.error());
        return std::make_unique<WindowsFile>(std::move(*handle));
    }

    OsResult<std::unique_ptr<File>> open_emptied(const std::string& path) override {
        auto handle = open_own_file(path, GENERIC_WRITE, SHARE_ALL);
        if (!handle) return std::unexpected(handle.error());
        if (!::SetEndOfFile(handle->get())) return last_error(::GetLastError());
        return std::make_unique<WindowsFile>(std::move(*handle));
    }

    OsResult<std::unique_ptr<File>> open_for_appending(const std::string& path) override {
        // Others may read it, but nobody writes, renames or deletes it while it is held.
        auto handle = open_own_file(path, GENERIC_WRITE, FILE_SHARE_READ);
        if (!handle) return std::unexpected(handle.error());
        // Every write then lands at the end: nothing else moves the position but truncate().
        if (auto moved = set_position(handle->get(), 0, FILE_END); !moved) return std::unexpected(moved.error());
        return std::make_unique<WindowsFile>(std::move(*handle));
    }

    OsResult<void> delete_file(const std::string& path) override {
        auto wide = wide_path(path);
        if (!wide) return std::unexpected(wide.error());
        if (!::DeleteFileW(wide->c_str())) return last_error(::GetLastError());
        return {};
    }

    OsResult<void> clear_read_only(const std::string& path) override {
        // Through a handle on the entry itself: SetFileAttributesW by name would follow a link.
        auto handle = create_file(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
        if (!handle) return std::unexpected(handle.error());
        FILE_BASIC_INFO basic;
        if (!::GetFileInformationByHandleEx(handle->get(), FileBasicInfo, &basic, sizeof basic)) {
            return last_error(::GetLastError());
        }
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(handle->get(), FileBasicInfo, &basic, sizeof basic)) {
            return last_error(::GetLastError());
        }
        return {};
    }

    OsResult<std::unique_ptr<DirectoryListing>> list_directory(const std::string& folder) override {
        std::string pattern = folder;
        if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
        pattern += '*';
        auto wide = wide_path(pattern);
        if (!wide) return std::unexpected(wide.error());
        WIN32_FIND_DATAW data;
        HANDLE handle = ::FindFirstFileExW(wide->c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
        if (handle == INVALID_HANDLE_VALUE) return last_error(::GetLastError());
        UniqueFindHandle owner(handle);
        return std::make_unique<WindowsListing>(std::move(owner), to_utf8_lossy(from_wide(data.cFileName)));
    }

    OsResult<void> move_replacing(const std::string& from, const std::string& to) override {
        auto wide_from = wide_path(from);
        if (!wide_from) return std::unexpected(wide_from.error());
        auto wide_to = wide_path(to);
        if (!wide_to) return std::unexpected(wide_to.error());
        if (!::MoveFileExW(wide_from->c_str(), wide_to->c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return last_error(::GetLastError());
        }
        return {};
    }

    OsResult<void> rename_by_handle(const std::string& from, const std::string& to) override {
        auto wide_to = wide_path(to);
        if (!wide_to) return std::unexpected(wide_to.error());
        auto handle = create_file(from, DELETE, OPEN_EXISTING, 0);
        if (!handle) return std::unexpected(handle.error());

        // FILE_RENAME_INFO ends in the target name, so it is built in a buffer of its own size.
        std::size_t name_bytes = wide_to->size() * sizeof(wchar_t);
        std::size_t total = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
        std::vector<std::byte> buffer(std::max(total, sizeof(FILE_RENAME_INFO)));
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(name_bytes);
        std::memcpy(info->FileName, wide_to->c_str(), name_bytes + sizeof(wchar_t));
        if (!::SetFileInformationByHandle(handle->get(), FILE_RENAME_INFO_EX, info,
                                          static_cast<DWORD>(buffer.size()))) {
            return last_error(::GetLastError());
        }
        return {};
    }
};

}  // namespace

std::unique_ptr<FileSystem> make_file_system() { return std::make_unique<WindowsFileSystem>(); }

}  // namespace quarnet::windows
