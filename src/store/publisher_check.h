#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/error_texts.h"
#include "platform/file_system.h"
#include "platform/installer_signature.h"
#include "store/held_installer.h"

namespace quarnet {

inline constexpr std::string_view NOT_PUBLISHERS_TEXT =
    "The downloaded installer is not signed by Pelorin's publisher, so it was deleted.";

// The held installer back when the build names no publisher (nothing is asked
// then), or when Windows trusts its signature, read through the held handle, and
// the signer's common name is exactly the publisher's. When Windows says for
// certain that it is not the publisher's, the handle is let go, the file deleted
// and NOT_PUBLISHERS_TEXT given; when it could not say, the file is kept and the
// message names Windows' answer.
Result<HeldInstaller> check_installer_publisher(HeldInstaller held, const InstallerPublisher& publisher, Folder& folder,
                                                const std::string& name, ErrorTexts& texts);

}  // namespace quarnet
