#include "store/publisher_check.h"

#include <utility>

#include "store/download_files.h"

namespace quarnet {

Result<HeldInstaller> check_installer_publisher(HeldInstaller held, const InstallerPublisher& publisher, Folder& folder,
                                                const std::string& name) {
    if (publisher.name.empty()) return held;
    auto signer = publisher.signature->trusted_signer(*held.file, held.path);
    if (signer && *signer == publisher.name) return held;
    // The held handle shares no deletion, so it goes first.
    held.file.reset();
    ignore_failure(delete_even_read_only(folder, name));
    return failure(std::string(NOT_PUBLISHERS_TEXT));
}

}  // namespace quarnet
