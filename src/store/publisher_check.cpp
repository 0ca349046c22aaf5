#include "store/publisher_check.h"

#include <utility>

#include "store/download_files.h"

namespace quarnet {

Result<std::unique_ptr<File>> check_installer_publisher(std::unique_ptr<File> held, const std::string& path,
                                                        const InstallerPublisher& publisher, FileSystem& files) {
    if (publisher.name.empty()) return held;
    auto signer = publisher.signature->trusted_signer(*held, path);
    if (signer && *signer == publisher.name) return held;
    // The held handle shares no deletion, so it goes first.
    held.reset();
    (void)delete_file_even_read_only(files, path);
    return failure(std::string(NOT_PUBLISHERS_TEXT));
}

}  // namespace quarnet
