#pragma once
// The file system as the store, the transfer and the failure prompt use it.
// Paths are UTF-8; every implementation refuses a path holding a NUL with
// OsError::interior_nul() before touching anything.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/os_error.h"

namespace quarnet {

// An open file; closed when destroyed.
class File {
public:
    virtual ~File() = default;
    // Reads on from the current position: the count read, 0 at the end of the file.
    virtual OsResult<std::size_t> read(std::span<std::byte> buffer) = 0;
    // One write call: the count it accepted, which may be less than asked.
    virtual OsResult<std::size_t> write(std::span<const std::byte> bytes) = 0;
    // Sets the length of the file; later writes land at its new end.
    virtual OsResult<void> truncate(std::uint64_t length) = 0;
    // The length of the file as the file system reports it.
    virtual OsResult<std::uint64_t> length() = 0;
};

struct FileInfo {
    bool directory = false;
    bool read_only = false;
    std::uint64_t length = 0;
    bool reparse_point = false;  // a link (symbolic link, junction); told by entry_info only
    std::uint32_t links = 1;     // the file's names (hard links)
};

// A file opened by open_held, with what its handle says about it.
struct HeldFile {
    std::unique_ptr<File> file;
    bool reparse_point = false;
    std::uint32_t links = 1;
};

// One listing of a folder (FindFirstFileExW / FindNextFileW / FindClose).
class DirectoryListing {
public:
    virtual ~DirectoryListing() = default;
    // The next entry's name as listed ("." and ".." included); nothing at the end
    // of the listing or when the listing fails.
    virtual std::optional<std::string> next() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // GetTempPath2W where kernel32 exports it, else GetTempPathW.
    virtual OsResult<std::string> temp_directory() = 0;
    // One folder level (CreateDirectoryW).
    virtual OsResult<void> create_directory(const std::string& path) = 0;
    // Attributes and length, links followed.
    virtual OsResult<FileInfo> file_info(const std::string& path) = 0;
    // The entry itself, a link not followed: the reparse flag as the name and a
    // handle opened on the entry show it, its link count and its length.
    virtual OsResult<FileInfo> entry_info(const std::string& path) = 0;
    // Removes a link itself, through a handle opened on it, never what it points
    // to. When that handle does not show a link (it reached the target, as Wine's
    // handles on Unix links do), nothing is removed: ERROR_ALREADY_EXISTS.
    virtual OsResult<void> remove_link(const std::string& path) = 0;

    // GENERIC_READ, shared for read, write and delete, OPEN_EXISTING.
    virtual OsResult<std::unique_ptr<File>> open_for_reading(const std::string& path) = 0;
    // GENERIC_READ shared for reading only, a link opened rather than followed:
    // nobody writes, renames or deletes the file while it is held.
    virtual OsResult<HeldFile> open_held(const std::string& path) = 0;
    // GENERIC_WRITE, shared for read, write and delete, OPEN_ALWAYS, emptied.
    // A link at the path is removed and a file made in its place.
    virtual OsResult<std::unique_ptr<File>> open_emptied(const std::string& path) = 0;
    // Shared for reading only. Created when missing; what it holds stays and
    // every write lands at its end. A link at the path is removed and a file made
    // in its place.
    virtual OsResult<std::unique_ptr<File>> open_for_appending(const std::string& path) = 0;

    // DeleteFileW: a read-only file is refused with ERROR_ACCESS_DENIED.
    virtual OsResult<void> delete_file(const std::string& path) = 0;
    // Clears FILE_ATTRIBUTE_READONLY of the entry itself (a link is not followed),
    // keeping the other attributes.
    virtual OsResult<void> clear_read_only(const std::string& path) = 0;

    // FindFirstFileExW on folder + "\*"; ERROR_FILE_NOT_FOUND when nothing matched.
    virtual OsResult<std::unique_ptr<DirectoryListing>> list_directory(const std::string& folder) = 0;

    // MoveFileExW with MOVEFILE_REPLACE_EXISTING.
    virtual OsResult<void> move_replacing(const std::string& from, const std::string& to) = 0;
    // The second way: FileRenameInfoEx (replace if exists) on an open handle of `from`.
    virtual OsResult<void> rename_by_handle(const std::string& from, const std::string& to) = 0;
};

}  // namespace quarnet
