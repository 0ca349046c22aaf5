#include "platform/windows/held_folder.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/windows/file_calls.h"
#include "platform/windows/folder_security.h"
#include "platform/windows/nt_calls.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_file.h"
// After windows_api.h, so the same settings hold for it.
#include <winternl.h>

namespace quarnet::windows {
namespace {

// The entries of a folder, read through its handle, many to a call: in the
// first layout the file system takes. Some (network redirectors, third-party
// file systems) refuse the one with ids.
class WindowsListing final : public DirectoryListing {
public:
    WindowsListing(HANDLE folder, ListCall call) : folder_(folder), call_(call), buffer_(BUFFER_WORDS) {}

    std::optional<std::string> next() override {
        if (entry_ == nullptr && !fill()) return std::nullopt;
        auto [next_offset, name] = entry_at(static_cast<const std::byte*>(entry_));
        entry_ = next_offset == 0 ? nullptr : static_cast<const std::byte*>(entry_) + next_offset;
        return to_utf8_lossy(from_wide(name));
    }

private:
    static constexpr std::size_t BUFFER_WORDS = 8'192;  // 64 KiB, aligned for the entries

    std::pair<ULONG, std::wstring_view> entry_at(const std::byte* at) const {
        auto view = [](const auto* entry) {
            return std::pair<ULONG, std::wstring_view>(
                entry->NextEntryOffset, std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
        };
        switch (layout_) {
            case ListLayout::IdBoth:
                return view(reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at));
            case ListLayout::Full:
                return view(reinterpret_cast<const FILE_FULL_DIR_INFO*>(at));
            case ListLayout::Plain:
                break;
        }
        return view(reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(at));
    }

    static bool refused(const OsError& error) {
        return error.is_code(ERROR_INVALID_PARAMETER) || error.is_code(ERROR_NOT_SUPPORTED) ||
               error.is_code(ERROR_INVALID_FUNCTION);
    }

    // ERROR_NO_MORE_FILES is the normal end; any other failure ends the listing as
    // well, but a layout refused before the first entry gives way to the next one.
    bool fill() {
        if (ended_) return false;
        for (;;) {
            auto filled = call_(folder_, layout_, !started_, buffer_);
            if (filled) break;
            if (started_ || layout_ == ListLayout::Plain || !refused(filled.error())) {
                ended_ = true;
                return false;
            }
            layout_ = layout_ == ListLayout::IdBoth ? ListLayout::Full : ListLayout::Plain;
        }
        started_ = true;
        entry_ = buffer_.data();
        return true;
    }

    HANDLE folder_;  // the held folder's; it outlives the listing
    ListCall call_;
    std::vector<std::uint64_t> buffer_;
    ListLayout layout_ = ListLayout::IdBoth;
    const void* entry_ = nullptr;
    bool started_ = false;
    bool ended_ = false;
};

class WindowsFolder final : public Folder {
public:
    WindowsFolder(UniqueFileHandle handle, std::string path) : handle_(std::move(handle)), path_(std::move(path)) {}

    OsResult<std::unique_ptr<DirectoryListing>> list() override { return make_listing(handle_.get()); }

    OsResult<FileInfo> entry_info(const std::string& name) override {
        // No content access asked for, so a file held without any sharing answers too.
        auto handle = TRY(open_entry(name, FILE_READ_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0));
        FileInfo result = file_info_of(TRY(handle_info(handle.get())));
        result.reparse_point = TRY(reparse_of(handle.get(), entry_path(name))).any_link();
        return result;
    }

    OsResult<HeldFile> open_held(const std::string& name) override {
        auto handle = TRY(open_entry(name, GENERIC_READ, FILE_SHARE_READ, NT_OPEN, NT_NON_DIRECTORY_FILE));
        auto info = TRY(handle_info(handle.get()));
        HeldFile held;
        held.reparse_point = TRY(reparse_of(handle.get(), entry_path(name))).any_link();
        held.links = info.nNumberOfLinks;
        held.file = std::make_unique<WindowsFile>(std::move(handle));
        return held;
    }

    OsResult<std::unique_ptr<OwnFile>> open_own(const std::string& name) override {
        // DELETE, so that the finished file can be renamed through this very handle.
        auto handle = TRY(open_plain_file(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ));
        return std::make_unique<WindowsFile>(std::move(handle), handle_.get());
    }

    OsResult<std::unique_ptr<File>> open_emptied(const std::string& name) override {
        auto handle = TRY(open_plain_file(name, GENERIC_WRITE, SHARE_ALL));
        if (!::SetEndOfFile(handle.get())) return last_error(::GetLastError());
        return std::make_unique<WindowsFile>(std::move(handle));
    }

    OsResult<void> delete_entry(const std::string& name) override {
        auto handle = TRY(open_entry(name, DELETE | FILE_READ_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0));
        auto info = TRY(handle_info(handle.get()));
        auto seen = TRY(reparse_of(handle.get(), entry_path(name)));
        // A folder is not a file to delete; and a handle that reached a link's
        // target would delete the target.
        if (!seen.link && ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || seen.through_link)) {
            return last_error(ERROR_ACCESS_DENIED);
        }
        return delete_by_handle(handle.get());  // a read-only file refuses: ERROR_ACCESS_DENIED
    }

    OsResult<void> clear_read_only(const std::string& name) override {
        auto handle = TRY(open_entry(name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, SHARE_ALL, NT_OPEN, 0));
        FILE_BASIC_INFO basic;
        if (!::GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof basic)) {
            return last_error(::GetLastError());
        }
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(handle.get(), FileBasicInfo, &basic, sizeof basic)) {
            return last_error(::GetLastError());
        }
        return {};
    }

    OsResult<std::uint64_t> free_space() override {
        auto wide = TRY(wide_path(entry_path("")));  // a folder's path, ending in a separator
        ULARGE_INTEGER available;
        if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) return last_error(::GetLastError());
        return available.QuadPart;
    }

    OsResult<void> remove() override {
        // A handle that reached a link's target (Wine's do) would remove the target.
        if (TRY(reparse_of(handle_.get(), path_)).through_link) return last_error(ERROR_ALREADY_EXISTS);
        return delete_by_handle(handle_.get());
    }

    OsResult<void> make_private() override { return windows::make_private(handle_.get()); }

private:
    std::string entry_path(const std::string& name) const { return join_path(path_, name); }

    OsResult<UniqueFileHandle> open_entry(const std::string& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                                          ULONG options) {
        return open_relative(handle_.get(), name, access, share, disposition, options);
    }

    // A file of the program's own, one file of one name: a link or a file with a
    // second name found there is removed and the file made anew, so nothing is
    // written through to another place.
    OsResult<UniqueFileHandle> open_plain_file(const std::string& name, ACCESS_MASK access, ULONG share) {
        for (ULONG disposition : {NT_OPEN_IF, NT_CREATE}) {
            auto handle = TRY(
                open_entry(name, access | DELETE | FILE_READ_ATTRIBUTES, share, disposition, NT_NON_DIRECTORY_FILE));
            auto info = TRY(handle_info(handle.get()));
            auto seen = TRY(reparse_of(handle.get(), entry_path(name)));
            if (seen.through_link) return last_error(ERROR_ALREADY_EXISTS);
            if (!seen.link && info.nNumberOfLinks == 1) return handle;
            TRY(delete_by_handle(handle.get()));
        }
        return last_error(ERROR_ALREADY_EXISTS);
    }

    UniqueFileHandle handle_;
    std::string path_;
};

}  // namespace

// Only a file of open_own knows its folder; without one, a name would be taken
// relative to wherever the file happens to be.
OsResult<void> WindowsFile::rename_replacing(const std::string& name) {
    if (folder_ == nullptr) return last_error(ERROR_ACCESS_DENIED);
    return rename_relative(handle(), folder_, name, RenameWay::Plain);
}

OsResult<void> WindowsFile::rename_replacing_in_use(const std::string& name) {
    if (folder_ == nullptr) return last_error(ERROR_ACCESS_DENIED);
    return rename_relative(handle(), folder_, name, RenameWay::PosixInUse);
}

OsResult<void> list_entries(HANDLE folder, ListLayout layout, bool restart, std::span<std::uint64_t> buffer) {
    auto by_handle = [&](FILE_INFO_BY_HANDLE_CLASS kind) -> OsResult<void> {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size_bytes()))) {
            return last_error(::GetLastError());
        }
        return {};
    };
    switch (layout) {
        case ListLayout::IdBoth:
            return by_handle(restart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo);
        case ListLayout::Full:
            return by_handle(restart ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo);
        case ListLayout::Plain:
            break;
    }
    return query_directory(folder, buffer, restart);
}

std::unique_ptr<DirectoryListing> make_listing(HANDLE folder, ListCall call) {
    return std::make_unique<WindowsListing>(folder, call);
}

std::unique_ptr<Folder> make_held_folder(UniqueFileHandle handle, std::string path) {
    return std::make_unique<WindowsFolder>(std::move(handle), std::move(path));
}

}  // namespace quarnet::windows
