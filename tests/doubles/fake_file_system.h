#pragma once
// An in-memory file system that answers the way Windows does: the error codes of
// CreateDirectoryW, CreateFileW, DeleteFileW and friends, share modes of files
// another program holds open, read-only files, a full disk, short writes.
//
// Paths are Windows paths ("C:\Temp\x"); "/" counts as "\" and a trailing
// separator is ignored. Unlike Windows, names are case-sensitive, so Setup.exe
// and setup.exe can stand side by side. Drive roots ("C:", "\\server\share")
// always exist. A folder lists its entries in byte order of their names, after
// "." and "..".
//
// Open files and listings share the storage with the file system: a file that is
// renamed or deleted while open keeps its bytes for the handle. The handles of
// open_held and open_own share reading only, so while one is open the file cannot
// be opened for writing, deleted, renamed or replaced; a held folder cannot be
// moved or deleted either, and its entry operations follow it wherever it goes.
// Moving a folder by path moves the folder alone, not what it holds.
//
// The path-based calls below the FileSystem ones are what another program can do
// by name; the program itself reaches entries only through held folders.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doubles/sharing.h"
#include "platform/file_system.h"

namespace quarnet {

enum class FsOp : std::uint8_t {
    TempDirectory,
    CreateDirectory,
    FileInfo,
    OpenForReading,
    OpenEmptied,
    OpenForAppending,  // another program's; the program's own partial file is OpenOwn
    OpenOwn,
    Read,      // size: the bytes asked for
    Write,     // size: the bytes offered
    Truncate,  // size: the new length
    Length,
    Delete,
    ClearReadOnly,
    ListDirectory,
    MoveReplacing,   // to: the target
    RenameByHandle,  // to: the target
    EntryInfo,
    OpenHeld,
    OpenFolder,
    RemoveFolder,
};

struct FsCall {
    FsOp op;
    std::string path;  // as the caller gave it; for file operations the path the file was opened with
    std::uint64_t size = 0;
    std::string to;
    friend bool operator==(const FsCall&, const FsCall&) = default;
};

// Makes matching calls fail: the first `skip` matching calls pass, the next
// `times` fail with `error`. An empty path matches every path.
struct ScriptedFailure {
    FsOp op;
    OsError error;
    int times = 1;
    std::string path;
    int skip = 0;
};

enum class DiskFullMode : std::uint8_t {
    Error,      // a write that finds no room fails with ERROR_DISK_FULL
    WriteZero,  // a write that finds no room accepts 0 bytes
};

class FakeFileSystem final : public FileSystem {
public:
    static constexpr const char* DEFAULT_TEMP_DIRECTORY = "C:\\Users\\tester\\AppData\\Local\\Temp\\";

    // The default temporary directory exists; nothing else does.
    FakeFileSystem();
    ~FakeFileSystem() override;

    // --- Setting up ---
    // What temp_directory() answers; the folder itself is not made.
    void set_temp_directory(std::string path);
    void set_temp_directory_error(OsError error);
    // Missing parent folders are made as well; an existing file is replaced.
    void add_file(const std::string& path, std::string content, bool read_only = false);
    void add_directory(const std::string& path);
    // A second name for an existing file: both names share its bytes.
    void add_hard_link(const std::string& existing, const std::string& path);
    // A link (reparse point) standing at the path; what it points to is not modelled.
    void add_link(const std::string& path, bool to_directory);
    // A folder that another user made (an owner the program does not trust).
    void add_foreign_directory(const std::string& path);
    // A folder on a volume that records no owner.
    void add_ownerless_directory(const std::string& path);
    // Another program moves a folder with all it holds, share modes or not (as a
    // rename from Wine's Unix side does).
    void move_tree(const std::string& from, const std::string& to);
    // The folder held as the program holds its work folder.
    std::unique_ptr<Folder> held_folder(const std::string& path);
    // Another program opens the file with these share flags (and full access)
    // and keeps it open until release().
    void hold_open(const std::string& path, Sharing sharing);
    void release(const std::string& path);
    void fail(ScriptedFailure failure);
    void fail_next(FsOp op, OsError error, int times = 1) { fail({op, error, times, {}, 0}); }
    // Every write call accepts at most this many bytes (nothing: no limit).
    void set_write_limit(std::optional<std::size_t> bytes);
    // All file contents together may hold at most this many bytes.
    void set_capacity(std::optional<std::uint64_t> bytes, DiskFullMode mode = DiskFullMode::Error);

    // --- Looking ---
    std::optional<std::string> content(const std::string& path) const;
    bool exists(const std::string& path) const;
    bool is_directory(const std::string& path) const;
    bool is_read_only(const std::string& path) const;
    bool is_link(const std::string& path) const;
    // Made by create_private_directory, or made so by make_private.
    bool is_private(const std::string& path) const;
    // The names directly inside a folder, in listing order, without "." and "..".
    std::vector<std::string> names_in(const std::string& folder) const;
    const std::vector<FsCall>& calls() const;
    // The calls of one kind, optionally for one path.
    std::vector<FsCall> calls_of(FsOp op, const std::string& path = {}) const;
    // The sizes of the reads asked for on that path, in order.
    std::vector<std::uint64_t> read_sizes(const std::string& path) const;

    // --- FileSystem ---
    OsResult<std::string> temp_directory() override;
    // Both record FsOp::CreateDirectory; is_private tells them apart.
    OsResult<void> create_directory(const std::string& path) override;
    OsResult<void> create_private_directory(const std::string& path) override;
    OsResult<FileInfo> file_info(const std::string& path) override;
    OsResult<OpenedFolder> open_folder(const std::string& path, FolderUse use) override;

    // --- By path, as another program (and the held folders underneath) ---
    OsResult<FileInfo> entry_info(const std::string& path);
    OsResult<HeldFile> open_held(const std::string& path);
    OsResult<std::unique_ptr<File>> open_for_reading(const std::string& path);
    OsResult<std::unique_ptr<File>> open_emptied(const std::string& path);
    OsResult<std::unique_ptr<File>> open_for_appending(const std::string& path);
    OsResult<void> delete_file(const std::string& path);
    OsResult<void> clear_read_only(const std::string& path);
    OsResult<std::unique_ptr<DirectoryListing>> list_directory(const std::string& folder);
    OsResult<void> move_replacing(const std::string& from, const std::string& to);

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace quarnet
