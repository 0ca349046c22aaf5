#pragma once
// The Authenticode signature of a downloaded installer, checked by Windows'
// trust provider through the handle the caller holds. Which signer is the right
// one is the logic's business; this only says who signed, once Windows trusts it.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace quarnet {

// Why no trusted signer could be named: the step that refused and its result
// (an HRESULT for WinVerifyTrust), for tests and debugging; users see one text.
struct UntrustedSignature {
    std::string_view step;
    std::uint32_t status;
    friend bool operator==(const UntrustedSignature&, const UntrustedSignature&) = default;
};

class InstallerSignature {
public:
    virtual ~InstallerSignature() = default;
    // WinVerifyTrust (generic Authenticode policy, no user interface, revocation
    // over the chain) on the open file, then the subject common name of the
    // signer's certificate. `path` names the same file; the bytes come from `file`.
    virtual std::expected<std::string, UntrustedSignature> trusted_signer(File& file, const std::string& path) = 0;
};

// The signer the installer must have, as the build names it, with the service
// that checks it. An empty name means no check at all.
struct InstallerPublisher {
    std::string_view name;
    InstallerSignature* signature = nullptr;
};

}  // namespace quarnet
