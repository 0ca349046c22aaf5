#include "store/held_installer.h"

#include <utility>

#include "store/digest.h"
#include "store/download_files.h"

namespace quarnet {
namespace {

// Anything but one file with one name could be changed through another way in.
bool plain_file(const HeldFile& held) { return !held.reparse_point && held.links == 1; }

OsResult<bool> matches_list(File& file, const InstallerList& list) {
    auto length = file.length();
    if (!length) return std::unexpected(length.error());
    if (*length != list.size) return false;
    auto hashed = hash_open_file(file, list.size);
    if (!hashed) return std::unexpected(hashed.error());
    return hashed->length == list.size && digest_text(std::move(hashed->digest)) == list.sha256;
}

}  // namespace

HeldCheck hold_installer(FileSystem& files, const std::string& path, const InstallerList& list) {
    auto held = files.open_held(path);
    if (!held) return held.error();
    if (!plain_file(*held)) {
        held->file.reset();
        ignore_failure(held->reparse_point ? files.remove_link(path) : delete_file_even_read_only(files, path));
        return NotTheInstaller{};
    }
    auto matches = matches_list(*held->file, list);
    if (!matches) return matches.error();
    if (!*matches) {
        held->file.reset();
        ignore_failure(delete_file_even_read_only(files, path));
        return NotTheInstaller{};
    }
    return HeldInstaller{path, std::move(held->file)};
}

}  // namespace quarnet
