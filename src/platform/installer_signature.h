#pragma once
// The Authenticode signature of a downloaded installer, checked by Windows'
// trust provider through the handle the caller holds. Which signer is the right
// one, and what each refusal means, is the logic's business; this only says who
// signed, once Windows trusts it, or why it does not.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/os_error.h"
#include "platform/file_system.h"

namespace quarnet {

// Why no trusted signer could be named: WinVerifyTrust's result (an HRESULT),
// or the Win32 error of loading the trust provider's libraries, each naming its call.
struct UntrustedSignature {
    OsError error;
    // The thread's last error right after WinVerifyTrust, when it answered
    // TRUST_E_NOSIGNATURE: it tells a file without a signature from one that could
    // not be read ("Example C Program: Verifying the Signature of a PE File").
    std::uint32_t last_error = 0;
    friend bool operator==(const UntrustedSignature&, const UntrustedSignature&) = default;
};

// What one verification asks about revocation, and where Windows may look.
enum class RevocationCheck {
    CachedOnly,  // over the whole chain below the root, from what Windows holds already: nothing fetched
    Online,      // the same, fetching what Windows lacks (a root, an intermediate, a revocation answer)
    None,
};

class InstallerSignature {
public:
    virtual ~InstallerSignature() = default;
    // One WinVerifyTrust (generic Authenticode policy, no user interface) on the
    // open file, then the subject common name of the signer's certificate: empty
    // when it has none. `path` names the same file; the bytes come from `file`.
    virtual Expected<std::string, UntrustedSignature> trusted_signer(File& file, const std::string& path,
                                                                     RevocationCheck revocation) = 0;
};

// The signer the installer must have, as the build names it, with the service
// that checks it. An empty name means no check at all.
struct InstallerPublisher {
    std::string_view name;
    InstallerSignature* signature = nullptr;
};

}  // namespace quarnet
