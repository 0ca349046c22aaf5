#include "store/publisher_check.h"

#include <utility>

#include "store/download_files.h"

namespace quarnet {
namespace {

enum class Verdict { NotThePublishers, RevocationUnknown, CouldNotCheck };

// Only an answer that no later check could change makes the file not the
// publisher's: no signature (or a file that cannot carry one), a signature that
// does not match the file, a revoked or explicitly distrusted certificate. A
// chain Windows cannot build or trust now, a system error or a missing library
// may be gone at the next try.
Verdict verdict_of(const UntrustedSignature& refused) {
    for (std::uint32_t code : {TRUST_CODE_NO_SIGNATURE, TRUST_CODE_SUBJECT_FORM_UNKNOWN, TRUST_CODE_BAD_DIGEST,
                               TRUST_CODE_MALFORMED_SIGNATURE, TRUST_CODE_CERT_REVOKED, TRUST_CODE_CRYPT_REVOKED,
                               TRUST_CODE_EXPLICIT_DISTRUST}) {
        if (refused.error.is_code(code)) return Verdict::NotThePublishers;
    }
    for (std::uint32_t code :
         {TRUST_CODE_REVOCATION_FAILURE, TRUST_CODE_NO_REVOCATION_CHECK, TRUST_CODE_REVOCATION_OFFLINE}) {
        if (refused.error.is_code(code)) return Verdict::RevocationUnknown;
    }
    return Verdict::CouldNotCheck;
}

}  // namespace

Result<HeldInstaller> check_installer_publisher(HeldInstaller held, const InstallerPublisher& publisher, Folder& folder,
                                                const std::string& name, ErrorTexts& texts) {
    if (publisher.name.empty()) return held;
    InstallerSignature& signature = *publisher.signature;
    auto signer = signature.trusted_signer(*held.file, held.path, RevocationCheck::CachedOnly);
    // Revocation that Windows cannot tell is not held against the installer: a
    // certificate known to be revoked is refused, one whose status is unknown is not.
    if (!signer && verdict_of(signer.error()) == Verdict::RevocationUnknown) {
        signer = signature.trusted_signer(*held.file, held.path, RevocationCheck::None);
    }
    if (signer && *signer == publisher.name) return held;
    if (!signer && verdict_of(signer.error()) != Verdict::NotThePublishers) {
        // The file stays: a Retry checks it again as an earlier copy, without a download.
        return failure("Could not check the installer's publisher (" + os_error_text(signer.error().error, texts) +
                       ").");
    }
    // The held handle shares no deletion, so it goes first.
    held.file.reset();
    ignore_failure(delete_even_read_only(folder, name));
    return failure(std::string(NOT_PUBLISHERS_TEXT));
}

}  // namespace quarnet
