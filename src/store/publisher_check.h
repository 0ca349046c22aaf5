#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/failure_message.h"
#include "platform/file_system.h"
#include "platform/installer_signature.h"

namespace quarnet {

inline constexpr std::string_view NOT_PUBLISHERS_TEXT =
    "The downloaded installer is not signed by Pelorin's publisher, so it was deleted.";

// The held installer back when the build names no publisher (nothing is asked
// then), or when Windows trusts its signature and the signer's common name is
// exactly the publisher's. Otherwise the handle is let go, the file at `path`
// deleted, and the message given.
Result<std::unique_ptr<File>> check_installer_publisher(std::unique_ptr<File> held, const std::string& path,
                                                        const InstallerPublisher& publisher, FileSystem& files);

}  // namespace quarnet
