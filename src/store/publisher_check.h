#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/failure_message.h"
#include "platform/file_system.h"
#include "platform/installer_signature.h"
#include "store/held_installer.h"

namespace quarnet {

inline constexpr std::string_view NOT_PUBLISHERS_TEXT =
    "The downloaded installer is not signed by Pelorin's publisher, so it was deleted.";

// The held installer back when the build names no publisher (nothing is asked
// then), or when Windows trusts its signature, read through the held handle, and
// the signer's common name is exactly the publisher's. Otherwise the handle is
// let go, the file deleted, and the message given.
Result<HeldInstaller> check_installer_publisher(HeldInstaller held, const InstallerPublisher& publisher, Folder& folder,
                                                const std::string& name);

}  // namespace quarnet
