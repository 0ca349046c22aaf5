#pragma once
// The signature check with one scripted answer, and the paths it was asked about.

#include <string>
#include <vector>

#include "platform/installer_signature.h"

namespace quarnet {

struct FakeInstallerSignature final : InstallerSignature {
    std::expected<std::string, UntrustedSignature> answer = std::unexpected(UntrustedSignature{"WinVerifyTrust", 0});
    std::vector<std::string> asked;

    std::expected<std::string, UntrustedSignature> trusted_signer(File&, const std::string& path) override {
        asked.push_back(path);
        return answer;
    }
};

}  // namespace quarnet
