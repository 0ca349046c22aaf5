#pragma once
// The signature check with scripted answers, one per verification (the last one
// repeats), and the paths and revocation checks it was asked about.

#include <algorithm>
#include <string>
#include <vector>

#include "platform/installer_signature.h"

namespace quarnet {

struct FakeInstallerSignature final : InstallerSignature {
    std::vector<Expected<std::string, UntrustedSignature>> answers;  // at least one
    std::vector<std::string> asked;
    std::vector<RevocationCheck> revocation_checks;

    Expected<std::string, UntrustedSignature> trusted_signer(File&, const std::string& path,
                                                             RevocationCheck revocation) override {
        asked.push_back(path);
        revocation_checks.push_back(revocation);
        return answers[std::min(asked.size(), answers.size()) - 1];
    }
};

}  // namespace quarnet
