#include "store/work_folder.h"

#include <cstddef>
#include <optional>

namespace quarnet {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The length of the part of the path that names a drive or share and is never
// created: "C:\", "\\server\share\", and their "\\?\" forms. 0 for a relative path.
std::size_t root_length(std::string_view path) {
    auto after_component = [&](std::size_t from) {
        std::size_t end = from;
        while (end < path.size() && !is_separator(path[end])) ++end;
        return end < path.size() ? end + 1 : end;
    };
    auto drive_at = [&](std::size_t at) -> std::size_t {
        if (path.size() >= at + 2 && path[at + 1] == ':') {
            return path.size() > at + 2 && is_separator(path[at + 2]) ? at + 3 : at + 2;
        }
        return 0;
    };
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
        if (auto drive = drive_at(4)) return drive;
        if (path.substr(4, 4) == "UNC\\") return after_component(after_component(8));
        return after_component(4);
    }
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        return after_component(after_component(2));
    }
    if (auto drive = drive_at(0)) return drive;
    return 0;
}

// The folder above `path`, or nothing when `path` is a root or has no folder above it.
std::optional<std::string> parent_of(const std::string& path) {
    std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (end > root && is_separator(path[end - 1])) --end;   // trailing separators
    while (end > root && !is_separator(path[end - 1])) --end;  // the last component
    while (end > root && is_separator(path[end - 1])) --end;   // separators before it
    if (end <= root) return root > 0 ? std::optional(path.substr(0, root)) : std::nullopt;
    return path.substr(0, end);
}

bool is_root(const std::string& path) {
    std::size_t root = root_length(path);
    if (root == 0) return false;
    std::size_t end = path.size();
    while (end > root && is_separator(path[end - 1])) --end;
    return end <= root;
}

bool is_already_exists(const OsError& error) {
    return error.is_code(ERROR_CODE_ALREADY_EXISTS) || error.is_code(ERROR_CODE_FILE_EXISTS);
}

bool is_folder(FileSystem& files, const std::string& path) {
    auto info = files.file_info(path);
    return info && info->directory;
}

// Makes `path` and every missing folder above it; only the work folder itself is
// made private. A level that someone else makes in between counts as made when
// it is a folder; what stands at the work folder's place is judged once it is held.
OsResult<void> create_all(FileSystem& files, const std::string& path, bool work_folder) {
    auto create = [&] { return work_folder ? files.create_private_directory(path) : files.create_directory(path); };
    auto made = [&](const OsError& error) {
        return is_already_exists(error) && (work_folder || is_folder(files, path));
    };
    auto created = create();
    if (created || made(created.error())) return {};
    if (!created.error().is_code(ERROR_CODE_PATH_NOT_FOUND)) return created;
    auto parent = parent_of(path);
    if (!parent || is_root(*parent)) return created;
    if (auto parents = create_all(files, *parent, false); !parents) return parents;
    created = create();
    if (created || made(created.error())) return {};
    return created;
}

// A real folder that the user, SYSTEM or the administrators own, or one on a
// volume that keeps no owners: the sweep and the downloads may trust it.
bool own_folder(const OpenedFolder& opened) {
    return opened.directory && !opened.reparse_point && opened.owner != FolderOwner::Stranger;
}

// A link, or a folder that another user made, goes; the decision is taken again
// on the handle that removes it. Another user's folder with something in it stays.
OsResult<void> remove_stranger(FileSystem& files, const std::string& path) {
    OpenedFolder doomed = TRY(files.open_folder(path, FolderUse::Remove));
    if (own_folder(doomed)) return {};
    auto removed = doomed.folder->remove();
    if (removed || doomed.reparse_point) return removed;
    return std::unexpected(OsError::from_code(ERROR_CODE_ACCESS_DENIED));
}

OsResult<std::unique_ptr<Folder>> hold_own_folder(FileSystem& files, const std::string& path) {
    for (int round = 0; round < 2; ++round) {
        TRY(create_all(files, path, true));
        OpenedFolder opened = TRY(files.open_folder(path, FolderUse::Hold));
        if (own_folder(opened)) {
            // Whatever it inherited or was given since it was made (a shared TEMP lets
            // others write into it) ends before anything happens in it. A volume
            // without owners keeps no DACL either.
            if (opened.owner == FolderOwner::Trusted) TRY(opened.folder->make_private());
            return std::move(opened.folder);
        }
        if (!opened.directory && !opened.reparse_point) {
            return std::unexpected(OsError::from_code(ERROR_CODE_ALREADY_EXISTS));  // a file in the way
        }
        opened.folder.reset();
        TRY(remove_stranger(files, path));
    }
    return std::unexpected(OsError::from_code(ERROR_CODE_ACCESS_DENIED));  // it keeps coming back
}

FailureMessage folder_failure(const OsError& error, ErrorTexts& texts) {
    return FailureMessage("Could not make a folder for the download (" + os_error_text(error, texts) + ").");
}

}  // namespace

Result<WorkFolder> open_work_folder(FileSystem& files, ErrorTexts& texts) {
    std::string path =
        join_path(TRY_MAP(files.temp_directory(), error, folder_failure(error, texts)), WORK_FOLDER_NAME);
    std::unique_ptr<Folder> held = TRY_MAP(hold_own_folder(files, path), error, folder_failure(error, texts));
    return WorkFolder{std::move(path), std::move(held)};
}

}  // namespace quarnet
