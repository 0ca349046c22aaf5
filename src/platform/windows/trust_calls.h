#pragma once
// The trust provider's calls that the installer signature check makes, as
// pointers: the real ones come from System32's wintrust.dll and crypt32.dll,
// the platform tests pass their own to reach answers Wine never gives.

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>

#include "platform/installer_signature.h"

namespace quarnet::windows {

struct TrustCalls {
    decltype(&::WinVerifyTrust) verify_trust = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provider_data = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) provider_signer = nullptr;
    decltype(&::CertGetNameStringW) name_string = nullptr;
    DWORD load_error = ERROR_PROC_NOT_FOUND;  // why a call above is missing
};

// Found by name; members stay null when a library or function is missing, and
// `load_error` then says why.
TrustCalls system_trust_calls();

std::unique_ptr<InstallerSignature> make_installer_signature(const TrustCalls& calls);

}  // namespace quarnet::windows
