#pragma once
// The small Win32 file calls that the file, the held folder and the file system
// share: each reads the last error at once and hands it back as an OsError that
// names the call.

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

inline constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The failure of the Windows call named, with the error given: the call's own
// answer, or the refusal this layer makes in its stead.
inline std::unexpected<OsError> call_failed(const char* call, DWORD error) {
    return std::unexpected(OsError::from_code(error, call));
}
// The same with the thread's last error, read here, before anything can change it.
inline std::unexpected<OsError> call_failed(const char* call) { return call_failed(call, ::GetLastError()); }

// The path as Windows takes it: UTF-16, NUL-terminated, refused when it holds a NUL.
inline OsResult<std::wstring> wide_path(const std::string& path) { return to_wide(TRY(to_utf16_path(path))); }

// One name inside a folder, never a way out of it.
inline OsResult<std::wstring> wide_name(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/") != std::string::npos) {
        return call_failed("wide_name", ERROR_INVALID_NAME);
    }
    return wide_path(name);
}

inline OsResult<UniqueFileHandle> create_file(const std::string& path, DWORD access, DWORD disposition, DWORD flags,
                                              DWORD share = SHARE_ALL) {
    auto wide = TRY(wide_path(path));
    HANDLE handle = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return call_failed("CreateFileW");
    return UniqueFileHandle(handle);
}

inline OsResult<BY_HANDLE_FILE_INFORMATION> handle_info(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) return call_failed("GetFileInformationByHandle");
    return info;
}

inline FileInfo file_info_of(const BY_HANDLE_FILE_INFORMATION& info) {
    FileInfo result;
    result.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    result.length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    result.reparse_point = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    result.links = info.nNumberOfLinks;
    return result;
}

// Only a reparse point whose tag is a name surrogate (symbolic link, junction)
// leads to another name; deduplicated, compressed or cloud files are reparse
// points too, and plain files for everything here.
inline bool is_link(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag);
}

// The name's attributes tell a link too: Wine shows a Unix link there, while its
// handles reach what the link points to.
inline bool name_is_link(const std::string& path) {
    // "\\?\" keeps the name exactly as given.
    const bool drive_path = path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    auto wide = wide_path(drive_path ? "\\\\?\\" + path : path);
    if (!wide) return false;
    DWORD attributes = ::GetFileAttributesW(wide->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// What a handle opened on an entry itself (links not followed) shows of it.
struct ReparseSeen {
    bool reparse_point = false;  // of any kind
    bool link = false;           // the handle is on the link itself
    bool through_link = false;  // no reparse point on the handle, but the name is a link: the handle reached its target
    bool any_link() const { return link || through_link; }
};

// `path` is the entry's: the name is asked only when the handle shows no reparse point.
inline OsResult<ReparseSeen> reparse_of(HANDLE handle, const std::string& path) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
        return call_failed("GetFileInformationByHandleEx");
    }
    ReparseSeen seen;
    seen.reparse_point = (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    seen.link = is_link(tag.FileAttributes, tag.ReparseTag);
    seen.through_link = !seen.reparse_point && name_is_link(path);
    return seen;
}

// Deletes the entry the handle was opened on (with DELETE, links not followed).
inline OsResult<void> delete_by_handle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
        return call_failed("SetFileInformationByHandle");
    }
    return {};  // gone when the handle closes
}

inline OsResult<void> set_position(HANDLE handle, std::uint64_t offset, DWORD method) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle, distance, nullptr, method)) return call_failed("SetFilePointerEx");
    return {};
}

}  // namespace quarnet::windows
