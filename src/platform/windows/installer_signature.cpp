// The installer's Authenticode signature through WinVerifyTrust on the held
// handle: one verification per call, asked about revocation, and allowed to fetch
// (or only to look in what Windows holds: WTD_CACHE_ONLY_URL_RETRIEVAL), as the
// caller says; what the answer means is decided by the logic (store/publisher_check).

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

// TRUST_E_MALFORMED_SIGNATURE is missing from mingw-w64's winerror.h.
constexpr std::uint32_t code_of(HRESULT result) { return static_cast<std::uint32_t>(result); }
static_assert(TRUST_CODE_NO_SIGNATURE == code_of(TRUST_E_NOSIGNATURE) &&
              TRUST_CODE_SUBJECT_FORM_UNKNOWN == code_of(TRUST_E_SUBJECT_FORM_UNKNOWN) &&
              TRUST_CODE_PROVIDER_UNKNOWN == code_of(TRUST_E_PROVIDER_UNKNOWN) &&
              TRUST_CODE_UNTRUSTED_ROOT == code_of(CERT_E_UNTRUSTEDROOT) &&
              TRUST_CODE_CHAINING == code_of(CERT_E_CHAINING) && TRUST_CODE_BAD_DIGEST == code_of(TRUST_E_BAD_DIGEST) &&
              TRUST_CODE_EXPLICIT_DISTRUST == code_of(TRUST_E_EXPLICIT_DISTRUST) &&
              TRUST_CODE_CERT_REVOKED == code_of(CERT_E_REVOKED) &&
              TRUST_CODE_CRYPT_REVOKED == code_of(CRYPT_E_REVOKED) &&
              TRUST_CODE_REVOCATION_FAILURE == code_of(CERT_E_REVOCATION_FAILURE) &&
              TRUST_CODE_NO_REVOCATION_CHECK == code_of(CRYPT_E_NO_REVOCATION_CHECK) &&
              TRUST_CODE_REVOCATION_OFFLINE == code_of(CRYPT_E_REVOCATION_OFFLINE));

std::unexpected<UntrustedSignature> untrusted(OsError error, std::uint32_t last_error = 0) {
    return std::unexpected(UntrustedSignature{error, last_error});
}

// One verification by the trust provider. Its state lives until the CLOSE
// action, which the destructor makes whatever the verification found.
class Verification {
public:
    Verification(const TrustCalls& calls, HANDLE file, const wchar_t* path, RevocationCheck revocation)
        : calls_(calls) {
        const bool checked = revocation != RevocationCheck::None;
        file_info_.cbStruct = sizeof file_info_;
        file_info_.pcwszFilePath = path;
        file_info_.hFile = file;
        data_.cbStruct = sizeof data_;
        data_.dwUIChoice = WTD_UI_NONE;
        data_.fdwRevocationChecks = checked ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_info_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        data_.dwProvFlags = checked ? WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT : WTD_REVOCATION_CHECK_NONE;
        if (revocation == RevocationCheck::CachedOnly) data_.dwProvFlags |= WTD_CACHE_ONLY_URL_RETRIEVAL;
        data_.dwUIContext = WTD_UICONTEXT_EXECUTE;
        status_ = calls_.verify_trust(NO_USER, &action_, &data_);
        last_error_ = ::GetLastError();
    }
    ~Verification() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        calls_.verify_trust(NO_USER, &action_, &data_);
    }
    Verification(const Verification&) = delete;
    Verification& operator=(const Verification&) = delete;

    LONG status() const { return status_; }
    DWORD last_error() const { return last_error_; }
    HANDLE state() const { return data_.hWVTStateData; }

private:
    // No window may be shown: there is no interactive user as far as the provider knows.
    static inline const HWND NO_USER = static_cast<HWND>(INVALID_HANDLE_VALUE);

    const TrustCalls& calls_;
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file_info_{};
    WINTRUST_DATA data_{};
    LONG status_ = 0;
    DWORD last_error_ = ERROR_SUCCESS;
};

// The subject CN of the certificate that made the first signature; empty when
// the provider names no such certificate or it has no CN.
std::string signer_name(const TrustCalls& calls, HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = calls.provider_data(state);
    CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? calls.provider_signer(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr)
        return {};
    PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    auto* common_name = const_cast<char*>(szOID_COMMON_NAME);
    // The size counts the NUL; 1 means the certificate has no such attribute.
    DWORD size = calls.name_string(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, nullptr, 0);
    if (size <= 1) return {};
    std::wstring name(size, L'\0');
    size = calls.name_string(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, name.data(), size);
    if (size <= 1) return {};
    name.resize(size - 1);
    return to_utf8_lossy(from_wide(name));
}

class WindowsInstallerSignature final : public InstallerSignature {
public:
    // Without calls: System32's, found at the first check, so a build that names
    // no publisher never loads the libraries.
    WindowsInstallerSignature() = default;
    explicit WindowsInstallerSignature(const TrustCalls& calls) : calls_(calls) {}

    Expected<std::string, UntrustedSignature> trusted_signer(File& file, const std::string& path,
                                                             RevocationCheck revocation) override {
        if (!calls_) calls_ = system_trust_calls();
        const TrustCalls& calls = *calls_;
        if (!calls.verify_trust || !calls.provider_data || !calls.provider_signer || !calls.name_string)
            return untrusted(OsError::from_code(calls.load_error, "LoadLibraryExW"));
        auto utf16 = to_utf16_path(path);
        if (!utf16) return untrusted(utf16.error());
        std::wstring wide = to_wide(*utf16);

        Verification checked(calls, native_handle(file), wide.c_str(), revocation);
        if (checked.status() != ERROR_SUCCESS) {
            const auto status = static_cast<std::uint32_t>(checked.status());
            const std::uint32_t last_error = status == TRUST_CODE_NO_SIGNATURE ? checked.last_error() : 0;
            return untrusted(OsError::from_code(status, "WinVerifyTrust"), last_error);
        }
        return signer_name(calls, checked.state());
    }

private:
    std::optional<TrustCalls> calls_;
};

}  // namespace

TrustCalls system_trust_calls() {
    SystemLibrary& wintrust = wintrust_library();
    SystemLibrary& crypt32 = crypt32_library();
    TrustCalls calls{
        SYSTEM_FUNCTION(wintrust_library, WinVerifyTrust),
        SYSTEM_FUNCTION(wintrust_library, WTHelperProvDataFromStateData),
        SYSTEM_FUNCTION(wintrust_library, WTHelperGetProvSignerFromChain),
        SYSTEM_FUNCTION(crypt32_library, CertGetNameStringW),
    };
    if (wintrust.load_error() != ERROR_SUCCESS) calls.load_error = wintrust.load_error();
    if (crypt32.load_error() != ERROR_SUCCESS) calls.load_error = crypt32.load_error();
    return calls;
}

std::unique_ptr<InstallerSignature> make_installer_signature(const TrustCalls& calls) {
    return std::make_unique<WindowsInstallerSignature>(calls);
}

std::unique_ptr<InstallerSignature> make_installer_signature() { return std::make_unique<WindowsInstallerSignature>(); }

}  // namespace quarnet::windows
