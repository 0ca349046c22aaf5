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

HeldCheck hold_installer(const WorkFolder& folder, const std::string& name, const InstallerList& list) {
    auto held = folder.held->open_held(name);
    if (!held) return held.error();
    OsResult<bool> matches = plain_file(*held) ? matches_list(*held->file, list) : OsResult<bool>(false);
    if (!matches) return matches.error();
    if (!*matches) {
        held->file.reset();  // it shares no deletion
        ignore_failure(delete_even_read_only(*folder.held, name));
        return NotTheInstaller{};
    }
    return HeldInstaller{folder.path_of(name), std::move(held->file)};
}

}  // namespace quarnet
