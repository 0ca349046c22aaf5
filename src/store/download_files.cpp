#include "store/download_files.h"

#include <string>

#include "store/work_folder.h"

namespace quarnet {
namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Component by component, letter case counting: "C:\T\\a" and "C:/T/a" name the
// same entry, "Setup.exe" and "setup.exe" do not.
bool same_path(std::string_view a, std::string_view b) {
    auto next_component = [](std::string_view& rest) {
        while (!rest.empty() && is_separator(rest.front())) rest.remove_prefix(1);
        std::size_t end = 0;
        while (end < rest.size() && !is_separator(rest[end])) ++end;
        std::string_view component = rest.substr(0, end);
        rest.remove_prefix(end);
        return component;
    };
    // A leading "\\" (a share or a "\\?\" path) is not the same as a leading "\".
    auto leading = [](std::string_view path) {
        std::size_t n = 0;
        while (n < path.size() && n < 2 && is_separator(path[n])) ++n;
        return n;
    };
    if (leading(a) != leading(b)) return false;
    for (;;) {
        auto left = next_component(a);
        auto right = next_component(b);
        if (left != right) return false;
        if (left.empty()) return true;
    }
}

}  // namespace

DownloadPaths download_paths(std::string_view work_folder, std::string_view file) {
    std::string installer = join_path(work_folder, file);
    std::string partial = installer + ".part";
    return {std::move(installer), std::move(partial)};
}

OsResult<void> delete_file_even_read_only(FileSystem& files, const std::string& path) {
    auto deleted = files.delete_file(path);
    if (deleted || !deleted.error().is_code(ERROR_CODE_ACCESS_DENIED)) return deleted;
    // The entry itself: what a link points to is never touched.
    auto info = files.entry_info(path);
    if (!info) return deleted;
    if (info->reparse_point) return files.remove_link(path);
    if (info->directory || !info->read_only) return deleted;
    if (auto cleared = files.clear_read_only(path); !cleared) return cleared;
    return files.delete_file(path);
}

void sweep_work_folder(FileSystem& files, std::string_view work_folder, const DownloadPaths& paths) {
    auto listing = files.list_directory(std::string(work_folder));
    if (!listing) return;  // nothing matched, or the folder cannot be listed: nothing to sweep
    while (auto name = (*listing)->next()) {
        if (*name == "." || *name == "..") continue;
        std::string path = join_path(work_folder, *name);
        if (same_path(path, paths.installer) || same_path(path, paths.partial)) continue;
        (void)delete_file_even_read_only(files, path);  // folders and files in use stay
    }
}

}  // namespace quarnet
