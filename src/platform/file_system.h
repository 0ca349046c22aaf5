#pragma once
// The file system as the store, the transfer and the failure prompt use it.
//
// Only the work folder itself (and the folders above it) is reached by path.
// Everything inside it is reached through the held folder, by entry name: the
// folder is held open without delete sharing, so nobody renames, moves or
// deletes it meanwhile, and each entry operation acts on an entry of exactly
// that folder, its name taken as it is (a trailing dot or space is not dropped,
// no separator or ".." leads elsewhere). Paths and names are UTF-8; a NUL in
// one is refused with OsError::interior_nul() before anything is touched.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/os_error.h"

namespace quarnet {

// The path of the entry `name` in the folder at `folder`: one "\\" between them,
// none added when `folder` ends in "\\" or "/" already. The one way such a path
// is made, for what Windows takes only by path.
inline std::string join_path(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') joined += '\\';
    joined += name;
    return joined;
}

// An open file; closed when destroyed.
class File {
public:
    virtual ~File() = default;
    // Reads on from the current position: the count read, 0 at the end of the file.
    virtual OsResult<std::size_t> read(std::span<std::byte> buffer) = 0;
    // One write call at the current position: the count it accepted, which may be less than asked.
    virtual OsResult<std::size_t> write(std::span<const std::byte> bytes) = 0;
    // Sets the length of the file and moves the position to its new end.
    virtual OsResult<void> truncate(std::uint64_t length) = 0;
    // The length of the file as the file system reports it.
    virtual OsResult<std::uint64_t> length() = 0;
    // The path of what the handle holds, every link resolved, in the "\\?\" form
    // GetFinalPathNameByHandleW gives: the file itself, whatever its names mean now.
    virtual OsResult<std::string> final_path() = 0;
};

// A file of the program's own (Folder::open_own). It gives itself a new name in
// the folder that opened it, which outlives it, replacing an entry of that name:
// a plain rename on its own handle...
class OwnFile : public File {
public:
    virtual OsResult<void> rename_replacing(const std::string& name) = 0;
    // ...or the second way, which also replaces a file still in use
    // (FileRenameInformationEx with POSIX semantics).
    virtual OsResult<void> rename_replacing_in_use(const std::string& name) = 0;
};

struct FileInfo {
    bool directory = false;
    bool read_only = false;
    std::uint64_t length = 0;
    // A link: a reparse point whose tag is a name surrogate (symbolic link, junction);
    // other reparse points (deduplicated, compressed, cloud files) are plain entries.
    // Told by entry_info only.
    bool reparse_point = false;
    std::uint32_t links = 1;  // the file's names (hard links)
};

// A file opened by open_held, with what its handle says about it.
struct HeldFile {
    std::unique_ptr<File> file;
    bool reparse_point = false;
    std::uint32_t links = 1;
};

// One listing of a folder.
class DirectoryListing {
public:
    virtual ~DirectoryListing() = default;
    // The next entry's name as listed ("." and ".." included); nothing at the end
    // of the listing or when the listing fails.
    virtual std::optional<std::string> next() = 0;
};

// A folder held open: shared for reading and writing, not for deletion.
class Folder {
public:
    virtual ~Folder() = default;

    // Its entries, in the order the file system gives them; one listing at a time.
    virtual OsResult<std::unique_ptr<DirectoryListing>> list() = 0;
    // The entry itself, a link not followed: the reparse flag as its handle and
    // its name show it, its link count and its length.
    virtual OsResult<FileInfo> entry_info(const std::string& name) = 0;
    // GENERIC_READ shared for reading only, a link opened rather than followed:
    // nobody writes, renames or deletes the file while it is held.
    virtual OsResult<HeldFile> open_held(const std::string& name) = 0;
    // Read and write, shared for reading only; made when missing, and what it
    // holds stays, the position at its start. Something that is not one plain
    // file of one name (a link, a file with a second name) is removed first.
    virtual OsResult<std::unique_ptr<OwnFile>> open_own(const std::string& name) = 0;
    // GENERIC_WRITE shared for read, write and delete; made when missing, and
    // emptied. A link or a file with a second name is removed first.
    virtual OsResult<std::unique_ptr<File>> open_emptied(const std::string& name) = 0;
    // Deletes a file, or a link itself. A read-only file and a folder are refused
    // with ERROR_ACCESS_DENIED.
    virtual OsResult<void> delete_entry(const std::string& name) = 0;
    // Clears FILE_ATTRIBUTE_READONLY of the entry itself, keeping its other attributes.
    virtual OsResult<void> clear_read_only(const std::string& name) = 0;
    // What the folder's volume still gives the current user, in bytes
    // (GetDiskFreeSpaceExW's free bytes available to the caller).
    virtual OsResult<std::uint64_t> free_space() = 0;
    // Removes the folder itself when it was opened for removal: a link as a link,
    // a folder only when it is empty (ERROR_DIR_NOT_EMPTY otherwise).
    virtual OsResult<void> remove() = 0;
    // Gives the folder itself the DACL of create_private_directory, which its
    // owner may always do; what it holds keeps its own.
    virtual OsResult<void> make_private() = 0;
};

enum class FolderOwner : std::uint8_t {
    Trusted,   // the current user, SYSTEM or the Administrators group
    Stranger,  // anyone else
    None,      // none recorded: a volume without security (FAT, exFAT)
};

struct OpenedFolder {
    std::unique_ptr<Folder> folder;
    bool directory = false;
    bool reparse_point = false;  // its handle or its name shows a link
    FolderOwner owner = FolderOwner::Stranger;
};

enum class FolderUse : std::uint8_t {
    Hold,    // list and use its entries
    Remove,  // remove() it as well
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // GetTempPath2W where kernel32 exports it, else GetTempPathW.
    virtual OsResult<std::string> temp_directory() = 0;
    // One folder level (CreateDirectoryW), with what it inherits.
    virtual OsResult<void> create_directory(const std::string& path) = 0;
    // One folder level that only the current user, SYSTEM and the Administrators
    // group can use: a protected DACL, nothing inherited from the folder above.
    virtual OsResult<void> create_private_directory(const std::string& path) = 0;
    // Attributes and length, links followed.
    virtual OsResult<FileInfo> file_info(const std::string& path) = 0;
    // The entry at the path, a link opened rather than followed, held open.
    virtual OsResult<OpenedFolder> open_folder(const std::string& path, FolderUse use) = 0;
};

}  // namespace quarnet
