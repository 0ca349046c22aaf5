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

// Makes `path` and every missing folder above it. A level that someone else makes
// in between counts as made, as long as it is a folder.
OsResult<void> create_all(FileSystem& files, const std::string& path) {
    auto created = files.create_directory(path);
    if (created) return {};
    OsError error = created.error();
    if (is_already_exists(error)) {
        auto info = files.file_info(path);
        if (info && info->directory) return {};
        return std::unexpected(error);
    }
    if (!error.is_code(ERROR_CODE_PATH_NOT_FOUND)) return std::unexpected(error);
    auto parent = parent_of(path);
    if (!parent || is_root(*parent)) return std::unexpected(error);
    if (auto made = create_all(files, *parent); !made) return made;
    created = files.create_directory(path);
    if (created) return {};
    if (is_already_exists(created.error())) {
        auto info = files.file_info(path);
        if (info && info->directory) return {};
    }
    return std::unexpected(created.error());
}

// The last level must be a folder of the program's own: a link there (to another
// folder, whose files the sweep would delete) is removed and a folder made instead.
OsResult<void> make_own_folder(FileSystem& files, const std::string& folder) {
    auto info = files.entry_info(folder);
    if (!info) return std::unexpected(info.error());
    if (!info->reparse_point) return {};
    if (auto removed = files.remove_link(folder); !removed) return removed;
    return files.create_directory(folder);
}

FailureMessage folder_failure(const OsError& error, ErrorTexts& texts) {
    return FailureMessage("Could not make a folder for the download (" + os_error_text(error, texts) + ").");
}

}  // namespace

std::string join_path(std::string_view left, std::string_view name) {
    std::string joined(left);
    if (!joined.empty() && !is_separator(joined.back())) joined += '\\';
    joined += name;
    return joined;
}

Result<std::string> open_work_folder(FileSystem& files, ErrorTexts& texts) {
    auto temp = files.temp_directory();
    if (!temp) return std::unexpected(folder_failure(temp.error(), texts));
    std::string folder = join_path(*temp, WORK_FOLDER_NAME);
    if (auto made = create_all(files, folder); !made) return std::unexpected(folder_failure(made.error(), texts));
    if (auto own = make_own_folder(files, folder); !own) return std::unexpected(folder_failure(own.error(), texts));
    return folder;
}

}  // namespace quarnet
