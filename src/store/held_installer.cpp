#include "store/held_installer.h"

#include <utility>

#include "store/digest.h"
#include "store/download_files.h"

namespace quarnet {
namespace {

// Anything but one file with one name could be changed through another way in.
bool plain_file(const HeldFile& held) { return !held.reparse_point && held.links == 1; }

OsResult<bool> matches_list(File& file, const Release& release) {
    auto length = TRY(file.length());
    if (length != release.size) return false;
    auto hashed = TRY(hash_open_file(file, release.size));
    return hashed.length == release.size && digest_text(std::move(hashed.digest)) == release.sha256;
}

// The file held, when it is one plain file with the listed size and digest; null when it is not.
OsResult<std::unique_ptr<File>> hold_if_matching(Folder& folder, const std::string& name, const Release& release) {
    auto held = TRY(folder.open_held(name));
    if (!plain_file(held) || !TRY(matches_list(*held.file, release))) return nullptr;
    return std::move(held.file);
}

}  // namespace

OsResult<std::optional<HeldInstaller>> hold_installer(const WorkFolder& folder, const std::string& name,
                                                      const Release& release, InUseWait& wait) {
    auto held = TRY(wait.retry([&] { return hold_if_matching(*folder.held, name, release); }, folder.held.get(), name));
    if (!held) {
        ignore_failure(delete_even_read_only(*folder.held, name));
        return std::nullopt;
    }
    return HeldInstaller{folder.path_of(name), std::move(held)};
}

}  // namespace quarnet
