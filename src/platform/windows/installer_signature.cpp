// The installer's Authenticode signature through WinVerifyTrust on the held
// handle. Revocation is asked for over the whole chain below the root. When
// Windows can get no answer about revocation (no distribution point, a server
// out of reach), the signature is verified once more without it: a certificate
// known to be revoked is refused, one whose status cannot be learnt is not.

#include "platform/installer_signature.h"

#include <optional>
#include <string>

#include "platform/text.h"
#include "platform/windows/system_library.h"
#include "platform/windows/trust_calls.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_file.h"
#include "platform/windows/windows_platform.h"
// after wintrust.h
#include <softpub.h>

namespace quarnet::windows {
namespace {

bool revocation_unknown(LONG status) {
    return status == CERT_E_REVOCATION_FAILURE || status == CRYPT_E_NO_REVOCATION_CHECK ||
           status == CRYPT_E_REVOCATION_OFFLINE;
}

std::unexpected<UntrustedSignature> untrusted(const char* step, LONG status) {
    return std::unexpected(UntrustedSignature{step, static_cast<std::uint32_t>(status)});
}

// One verification by the trust provider. Its state lives until the CLOSE
// action, which the destructor makes whatever the verification found.
class Verification {
public:
    Verification(const TrustCalls& calls, HANDLE file, const wchar_t* path, bool check_revocation) : calls_(calls) {
        file_info_.cbStruct = sizeof file_info_;
        file_info_.pcwszFilePath = path;
        file_info_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = check_revocation ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_info_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = check_revocation ? WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT : WTD_REVOCATION_CHECK_NONE;
        data_.dwUIContext = WTD_UICONTEXT_EXECUTE;
        status_ = calls_.verify_trust(NO_USER, &action_, &data_);
    }
    ~Verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        calls_.verify_trust(NO_USER, &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    LONG status() const { return status_; }
    HANDLE state() const { return data_.hWVTStateData; }

private:
    // No window may be shown: there is no interactive user as far as the provider knows.
    static inline const HWND NO_USER = static_cast<HWND>(INVALID_HANDLE_VALUE);

    const TrustCalls& calls_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_info_{};
    WINTRUST_DATA data_{};
    LONG status_ = 0;
};

// The subject CN of the certificate that made the first signature.
std::expected<std::string, UntrustedSignature> signer_name(const TrustCalls& calls, HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = calls.provider_data(state);
    CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? calls.provider_signer(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr)
        return untrusted("WTHelperGetProvSignerFromChain", 0);
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    auto* common_name = const_cast<char*>(szOID_COMMON_NAME);
    // The size counts the NUL; 1 means the certificate has no such attribute.
    DWORD size = calls.name_string(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, nullptr, 0);
    if (size <= 1) return untrusted("CertGetNameStringW", 0);
    std::wstring name(size, L'\0');
    size = calls.name_string(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, name.data(), size);
    if (size <= 1) return untrusted("CertGetNameStringW", 0);
    name.resize(size - 1);
    return to_utf8_lossy(from_wide(name));
}

class WindowsInstallerSignature final : public InstallerSignature {
public:
    // Without calls: System32's, found at the first check, so a build that names
    // no publisher never loads the libraries.
    WindowsInstallerSignature() = default;
    explicit WindowsInstallerSignature(const TrustCalls& calls) : calls_(calls) {}

    std::expected<std::string, UntrustedSignature> trusted_signer(File& file, const std::string& path) override {
        if (!calls_) calls_ = system_trust_calls();
        const TrustCalls& calls = *calls_;
        if (!calls.verify_trust || !calls.provider_data || !calls.provider_signer || !calls.name_string)
            return untrusted("LoadLibraryExW", 0);
        auto utf16 = to_utf16_path(path);
        if (!utf16) return untrusted("to_utf16_path", 0);
        std::wstring wide = to_wide(*utf16);
        HANDLE handle = native_handle(file);

        Verification checked(calls, handle, wide.c_str(), true);
        if (checked.status() == ERROR_SUCCESS) return signer_name(calls, checked.state());
        if (!revocation_unknown(checked.status())) return untrusted("WinVerifyTrust", checked.status());
        Verification again(calls, handle, wide.c_str(), false);
        if (again.status() != ERROR_SUCCESS) return untrusted("WinVerifyTrust", again.status());
        return signer_name(calls, again.state());
    }

private:
    std::optional<TrustCalls> calls_;
};

}  // namespace

TrustCalls system_trust_calls() {
    SystemLibrary& wintrust = wintrust_library();
    return TrustCalls{
        wintrust.find<decltype(&::WinVerifyTrust)>("WinVerifyTrust"),
        wintrust.find<decltype(&::WTHelperProvDataFromStateData)>("WTHelperProvDataFromStateData"),
        wintrust.find<decltype(&::WTHelperGetProvSignerFromChain)>("WTHelperGetProvSignerFromChain"),
        crypt32_library().find<decltype(&::CertGetNameStringW)>("CertGetNameStringW"),
    };
}

std::unique_ptr<InstallerSignature> make_installer_signature(const TrustCalls& calls) {
    return std::make_unique<WindowsInstallerSignature>(calls);
}

std::unique_ptr<InstallerSignature> make_installer_signature() { return std::make_unique<WindowsInstallerSignature>(); }

}  // namespace quarnet::windows
