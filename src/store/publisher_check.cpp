#include "store/publisher_check.h"

#include <utility>

#include "store/download_files.h"

namespace quarnet {
namespace {

enum class Verdict { NotThePublishers, ChainNotYetKnown, RevocationUnknown, CouldNotCheck };

// Only an answer that no later check could change makes the file not the
// publisher's: no signature (or a file that cannot carry one), a signature that
// does not match the file, a revoked or explicitly distrusted certificate. A
// chain Windows cannot build or trust now, a system error or a missing library
// may be gone at the next try.
Verdict verdict_of(const UntrustedSignature& refused) {
    if (refused.error.is_code(TRUST_CODE_NO_SIGNATURE)) {
        // Read as Microsoft's sample reads it: the last error says whether the file
        // carries no signature, or could not be opened or read.
        for (std::uint32_t code :
             {TRUST_CODE_NO_SIGNATURE, TRUST_CODE_SUBJECT_FORM_UNKNOWN, TRUST_CODE_PROVIDER_UNKNOWN}) {
            if (refused.last_error == code) return Verdict::NotThePublishers;
        }
        return Verdict::CouldNotCheck;
    }
    for (std::uint32_t code : {TRUST_CODE_SUBJECT_FORM_UNKNOWN, TRUST_CODE_BAD_DIGEST, TRUST_CODE_MALFORMED_SIGNATURE,
                               TRUST_CODE_CERT_REVOKED, TRUST_CODE_CRYPT_REVOKED, TRUST_CODE_EXPLICIT_DISTRUST}) {
        if (refused.error.is_code(code)) return Verdict::NotThePublishers;
    }
    // From the cache alone: a root or intermediate Windows has not fetched yet.
    if (refused.error.is_code(TRUST_CODE_UNTRUSTED_ROOT) || refused.error.is_code(TRUST_CODE_CHAINING)) {
        return Verdict::ChainNotYetKnown;
    }
    for (std::uint32_t code :
         {TRUST_CODE_REVOCATION_FAILURE, TRUST_CODE_NO_REVOCATION_CHECK, TRUST_CODE_REVOCATION_OFFLINE}) {
        if (refused.error.is_code(code)) return Verdict::RevocationUnknown;
    }
    return Verdict::CouldNotCheck;
}

// The error the message names: for a file that could not be read, the read's.
OsError shown_error(const UntrustedSignature& refused) {
    const bool read_error = refused.error.is_code(TRUST_CODE_NO_SIGNATURE) && refused.last_error != 0;
    return read_error ? OsError::from_code(refused.last_error) : refused.error;
}

}  // namespace

Result<HeldInstaller> check_installer_publisher(HeldInstaller held, const InstallerPublisher& publisher, Folder& folder,
                                                const std::string& name, ErrorTexts& texts) {
    if (publisher.name.empty()) return held;
    InstallerSignature& signature = *publisher.signature;
    auto signer = signature.trusted_signer(*held.file, held.path, RevocationCheck::CachedOnly);
    // A fresh machine may lack the root or an intermediate: once more, fetching them.
    if (!signer && verdict_of(signer.error()) == Verdict::ChainNotYetKnown) {
        signer = signature.trusted_signer(*held.file, held.path, RevocationCheck::Online);
    }
    // Revocation that Windows cannot tell is not held against the installer: a
    // certificate known to be revoked is refused, one whose status is unknown is not.
    if (!signer && verdict_of(signer.error()) == Verdict::RevocationUnknown) {
        signer = signature.trusted_signer(*held.file, held.path, RevocationCheck::None);
    }
    if (signer && *signer == publisher.name) return held;
    if (!signer && verdict_of(signer.error()) != Verdict::NotThePublishers) {
        // The file stays: a Retry checks it again as an earlier copy, without a download.
        return failure("Could not check the installer's publisher (" +
                       os_error_text(shown_error(signer.error()), texts) + ").");
    }
    // The held handle shares no deletion, so it goes first.
    held.file.reset();
    ignore_failure(delete_even_read_only(folder, name));
    return failure(std::string(NOT_PUBLISHERS_TEXT));
}

}  // namespace quarnet
