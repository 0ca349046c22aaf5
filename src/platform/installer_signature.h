#pragma once
// The Authenticode signature of a downloaded installer, checked by Windows'
// trust provider through the handle the caller holds. Which signer is the right
// one, and what each refusal means, is the logic's business; this only says who
// signed, once Windows trusts it, or why it does not.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/os_error.h"

namespace quarnet {

// Why no trusted signer could be named: the step that refused, for tests and
// debugging, and its error: WinVerifyTrust's result (an HRESULT), or the Win32
// error of loading the trust provider's libraries.
struct UntrustedSignature {
    std::string_view step;
    OsError error;
    friend bool operator==(const UntrustedSignature&, const UntrustedSignature&) = default;
};

// What one verification asks about revocation.
enum class RevocationCheck {
    CachedOnly,  // over the whole chain below the root, from what Windows holds already: no revocation server asked
    None,
};

// WinVerifyTrust's results that the logic tells apart (winerror.h).
inline constexpr std::uint32_t TRUST_CODE_NO_SIGNATURE = 0x800B0100;          // TRUST_E_NOSIGNATURE
inline constexpr std::uint32_t TRUST_CODE_SUBJECT_FORM_UNKNOWN = 0x800B0003;  // TRUST_E_SUBJECT_FORM_UNKNOWN
inline constexpr std::uint32_t TRUST_CODE_BAD_DIGEST = 0x80096010;            // TRUST_E_BAD_DIGEST
inline constexpr std::uint32_t TRUST_CODE_MALFORMED_SIGNATURE = 0x80096011;   // TRUST_E_MALFORMED_SIGNATURE
inline constexpr std::uint32_t TRUST_CODE_EXPLICIT_DISTRUST = 0x800B0111;     // TRUST_E_EXPLICIT_DISTRUST
inline constexpr std::uint32_t TRUST_CODE_CERT_REVOKED = 0x800B010C;          // CERT_E_REVOKED
inline constexpr std::uint32_t TRUST_CODE_CRYPT_REVOKED = 0x80092010;         // CRYPT_E_REVOKED
inline constexpr std::uint32_t TRUST_CODE_REVOCATION_FAILURE = 0x800B010E;    // CERT_E_REVOCATION_FAILURE
inline constexpr std::uint32_t TRUST_CODE_NO_REVOCATION_CHECK = 0x80092012;   // CRYPT_E_NO_REVOCATION_CHECK
inline constexpr std::uint32_t TRUST_CODE_REVOCATION_OFFLINE = 0x80092013;    // CRYPT_E_REVOCATION_OFFLINE

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
