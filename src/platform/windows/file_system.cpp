#include "platform/file_system.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/windows/folder_security.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_file.h"
#include "platform/windows/windows_platform.h"
// After windows_api.h, so the same settings hold for it.
#include <winternl.h>

namespace quarnet::windows {
namespace {

// ReadFile and WriteFile take a DWORD count; larger buffers go in pieces of this size.
constexpr std::size_t MAX_IO_PIECE = std::size_t{1} << 31;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// NtCreateFile's dispositions and options, and the rename classes of NtSetInformationFile.
constexpr ULONG NT_OPEN = 1;
constexpr ULONG NT_CREATE = 2;
constexpr ULONG NT_OPEN_IF = 3;
constexpr ULONG NT_SYNCHRONOUS_IO = 0x20;
constexpr ULONG NT_NON_DIRECTORY_FILE = 0x40;
constexpr ULONG NT_OPEN_REPARSE_POINT = 0x00200000;
constexpr ULONG NT_RENAME = 10;     // FileRenameInformation
constexpr ULONG NT_RENAME_EX = 65;  // FileRenameInformationEx, newer than the headers' FILE_INFORMATION_CLASS
constexpr ULONG RENAME_REPLACE_IF_EXISTS = 0x1;
constexpr ULONG RENAME_POSIX_SEMANTICS = 0x2;

// ntdll's calls for opening and renaming relative to a folder handle; ntdll is
// in every process, so they are found there rather than imported.
struct NtCalls {
    NTSTATUS(NTAPI* create_file)
    (PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID,
     ULONG) = nullptr;
    NTSTATUS(NTAPI* set_information)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG) = nullptr;  // the class as a number
    ULONG(NTAPI* dos_error)(NTSTATUS) = nullptr;
};

const NtCalls& nt() {
    static const NtCalls found = [] {
        NtCalls c;
        HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr) return c;
        auto find = [ntdll](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, name)));
        };
        find(c.create_file, "NtCreateFile");
        find(c.set_information, "NtSetInformationFile");
        find(c.dos_error, "RtlNtStatusToDosError");
        return c;
    }();
    return found;
}

std::unexpected<OsError> last_error(DWORD error) { return std::unexpected(OsError::from_code(error)); }

std::unexpected<OsError> status_error(NTSTATUS status) {
    return last_error(nt().dos_error != nullptr ? nt().dos_error(status) : ERROR_INVALID_FUNCTION);
}

// The path as Windows takes it: UTF-16, NUL-terminated, refused when it holds a NUL.
OsResult<std::wstring> wide_path(const std::string& path) {
    auto utf16 = to_utf16_path(path);
    if (!utf16) return std::unexpected(utf16.error());
    return to_wide(*utf16);
}

// One name inside a folder, never a way out of it.
OsResult<std::wstring> wide_name(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos) {
        return last_error(ERROR_INVALID_NAME);
    }
    return wide_path(name);
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

FileInfo file_info_of(const BY_HANDLE_FILE_INFORMATION& info) {
    FileInfo result;
    result.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    result.length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    result.reparse_point = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    result.links = info.nNumberOfLinks;
    return result;
}

bool is_link(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The name's attributes tell a link too: Wine shows a Unix link there, while its
// handles reach what the link points to. "\\?\" keeps the name exactly as given.
bool name_is_link(const std::string& path) {
    const bool drive_path = path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    auto wide = wide_path(drive_path ? "\\\\?\\" + path : path);
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

// The entries of a folder, read through its handle (FileIdBothDirectoryInfo),
// many to a call.
class WindowsListing final : public DirectoryListing {
public:
    explicit WindowsListing(HANDLE folder) : folder_(folder), buffer_(BUFFER_WORDS) {}

    std::optional<std::string> next() override {
        if (entry_ == nullptr && !fill()) return std::nullopt;
        const auto* entry = static_cast<const FILE_ID_BOTH_DIR_INFO*>(entry_);
        std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
        entry_ = entry->NextEntryOffset == 0 ? nullptr : static_cast<const std::byte*>(entry_) + entry->NextEntryOffset;
        return to_utf8_lossy(from_wide(name));
    }

private:
    static constexpr std::size_t BUFFER_WORDS = 8'192;  // 64 KiB, aligned for the entries

    // ERROR_NO_MORE_FILES is the normal end; any other failure ends the listing as well.
    bool fill() {
        if (ended_) return false;
        auto kind = started_ ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
        started_ = true;
        if (!::GetFileInformationByHandleEx(folder_, kind, buffer_.data(),
                                            static_cast<DWORD>(buffer_.size() * sizeof(std::uint64_t)))) {
            ended_ = true;
            return false;
        }
        entry_ = buffer_.data();
        return true;
    }

    HANDLE folder_;  // the held folder's; it outlives the listing
    std::vector<std::uint64_t> buffer_;
    const void* entry_ = nullptr;
    bool started_ = false;
    bool ended_ = false;
};

class WindowsFolder final : public Folder {
public:
    WindowsFolder(UniqueFileHandle handle, std::string path) : handle_(std::move(handle)), path_(std::move(path)) {}

    OsResult<std::unique_ptr<DirectoryListing>> list() override {
        return std::make_unique<WindowsListing>(handle_.get());
    }

    OsResult<FileInfo> entry_info(const std::string& name) override {
        // No content access asked for, so a file held without any sharing answers too.
        auto handle = open_entry(name, FILE_READ_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        FileInfo result = file_info_of(*info);
        result.reparse_point = result.reparse_point || name_is_link(entry_path(name));
        return result;
    }

    OsResult<HeldFile> open_held(const std::string& name) override {
        auto handle = open_entry(name, GENERIC_READ, FILE_SHARE_READ, NT_OPEN, NT_NON_DIRECTORY_FILE);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        HeldFile held;
        held.reparse_point = is_link(info->dwFileAttributes) || name_is_link(entry_path(name));
        held.links = info->nNumberOfLinks;
        held.file = std::make_unique<WindowsFile>(std::move(*handle));
        return held;
    }

    OsResult<std::unique_ptr<File>> open_own(const std::string& name) override {
        // DELETE, so that the finished file can be renamed through this very handle.
        auto handle = open_plain_file(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ);
        if (!handle) return std::unexpected(handle.error());
        return std::make_unique<WindowsFile>(std::move(*handle));
    }

    OsResult<std::unique_ptr<File>> open_emptied(const std::string& name) override {
        auto handle = open_plain_file(name, GENERIC_WRITE, SHARE_ALL);
        if (!handle) return std::unexpected(handle.error());
        if (!::SetEndOfFile(handle->get())) return last_error(::GetLastError());
        return std::make_unique<WindowsFile>(std::move(*handle));
    }

    OsResult<void> delete_entry(const std::string& name) override {
        auto handle = open_entry(name, DELETE | FILE_READ_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        if (!is_link(info->dwFileAttributes)) {
            // A folder is not a file to delete; and a handle that reached a link's
            // target would delete the target.
            if ((info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name_is_link(entry_path(name))) {
                return last_error(ERROR_ACCESS_DENIED);
            }
        }
        return delete_by_handle(handle->get());  // a read-only file refuses: ERROR_ACCESS_DENIED
    }

    OsResult<void> clear_read_only(const std::string& name) override {
        auto handle = open_entry(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0);
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

    OsResult<void> rename_replacing(File& file, const std::string& name) override {
        return rename(file, name, NT_RENAME, RENAME_REPLACE_IF_EXISTS);
    }

    OsResult<void> rename_replacing_in_use(File& file, const std::string& name) override {
        return rename(file, name, NT_RENAME_EX, RENAME_REPLACE_IF_EXISTS | RENAME_POSIX_SEMANTICS);
    }

    OsResult<void> remove() override {
        // A handle that reached a link's target (Wine's do) would remove the target.
        auto info = handle_info(handle_.get());
        if (!info) return std::unexpected(info.error());
        if (!is_link(info->dwFileAttributes) && name_is_link(path_)) return last_error(ERROR_ALREADY_EXISTS);
        return delete_by_handle(handle_.get());
    }

private:
    std::string entry_path(const std::string& name) const {
        return path_ + (path_.ends_with('\\') || path_.ends_with('/') ? "" : "\\") + name;
    }

    // NtCreateFile relative to the held folder, exactly that name, links opened rather than followed.
    OsResult<UniqueFileHandle> open_entry(const std::string& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                                          ULONG options) {
        if (nt().create_file == nullptr) return last_error(ERROR_PROC_NOT_FOUND);
        auto wide = wide_name(name);
        if (!wide) return std::unexpected(wide.error());
        UNICODE_STRING text;
        text.Buffer = wide->data();
        text.Length = static_cast<USHORT>(std::min<std::size_t>(wide->size() * sizeof(wchar_t), 0xFFFE));
        text.MaximumLength = text.Length;
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, handle_.get(), nullptr);
        IO_STATUS_BLOCK io{};
        HANDLE handle = nullptr;
        NTSTATUS status =
            nt().create_file(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                             disposition, options | NT_SYNCHRONOUS_IO | NT_OPEN_REPARSE_POINT, nullptr, 0);
        if (status < 0) return status_error(status);
        return UniqueFileHandle(handle);
    }

    // A file of the program's own, one file of one name: a link or a file with a
    // second name found there is removed and the file made anew, so nothing is
    // written through to another place.
    OsResult<UniqueFileHandle> open_plain_file(const std::string& name, ACCESS_MASK access, ULONG share) {
        for (ULONG disposition : {NT_OPEN_IF, NT_CREATE}) {
            auto handle =
                open_entry(name, access | DELETE | FILE_READ_ATTRIBUTES, share, disposition, NT_NON_DIRECTORY_FILE);
            if (!handle) return handle;
            auto info = handle_info(handle->get());
            if (!info) return std::unexpected(info.error());
            const bool link = is_link(info->dwFileAttributes);
            if (!link && name_is_link(entry_path(name))) return last_error(ERROR_ALREADY_EXISTS);
            if (!link && info->nNumberOfLinks == 1) return handle;
            if (auto removed = delete_by_handle(handle->get()); !removed) return std::unexpected(removed.error());
        }
        return last_error(ERROR_ALREADY_EXISTS);
    }

    OsResult<void> rename(File& file, const std::string& name, ULONG kind, ULONG flags) {
        if (nt().set_information == nullptr) return last_error(ERROR_PROC_NOT_FOUND);
        auto wide = wide_name(name);
        if (!wide) return std::unexpected(wide.error());
        // The information ends in the name, so it is built in a buffer of its own size.
        struct RenameInformation {
            ULONG flags;  // ReplaceIfExists, a BOOLEAN, in the plain class
            HANDLE root;
            ULONG name_length;
            wchar_t name[1];
        };
        const std::size_t name_bytes = wide->size() * sizeof(wchar_t);
        std::vector<std::uint64_t> buffer((offsetof(RenameInformation, name) + name_bytes) / sizeof(std::uint64_t) + 1);
        auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
        information->flags = flags;
        information->root = handle_.get();
        information->name_length = static_cast<ULONG>(name_bytes);
        std::memcpy(information->name, wide->data(), name_bytes);
        IO_STATUS_BLOCK io{};
        NTSTATUS status = nt().set_information(native_handle(file), &io, information,
                                               static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)), kind);
        if (status < 0) return status_error(status);
        return {};
    }

    UniqueFileHandle handle_;
    std::string path_;
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

    OsResult<void> create_private_directory(const std::string& path) override {
        auto wide = wide_path(path);
        if (!wide) return std::unexpected(wide.error());
        return windows::create_private_directory(*wide);
    }

    OsResult<FileInfo> file_info(const std::string& path) override {
        // No access asked for, so even a file another program holds with share mode 0
        // opens; backup semantics let folders open too.
        auto handle = create_file(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        FileInfo result = file_info_of(*info);
        result.reparse_point = false;
        return result;
    }

    OsResult<OpenedFolder> open_folder(const std::string& path, FolderUse use) override {
        // Without FILE_SHARE_DELETE: while it is held, nobody renames, moves or deletes it.
        DWORD access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
        if (use == FolderUse::Remove) access |= DELETE;
        auto handle =
            create_file(path, access, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                        FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (!handle) return std::unexpected(handle.error());
        auto info = handle_info(handle->get());
        if (!info) return std::unexpected(info.error());
        auto trusted = owned_by_trusted(handle->get());
        if (!trusted) return std::unexpected(trusted.error());
        OpenedFolder opened;
        opened.directory = (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        opened.reparse_point = is_link(info->dwFileAttributes) || name_is_link(path);
        opened.trusted_owner = *trusted;
        opened.folder = std::make_unique<WindowsFolder>(std::move(*handle), path);
        return opened;
    }
};

}  // namespace

std::unique_ptr<FileSystem> make_file_system() { return std::make_unique<WindowsFileSystem>(); }

}  // namespace quarnet::windows
