// The signature check's use of the trust provider, against scripted answers
// that Wine 8's provider never gives (it checks neither the chain's root nor
// revocation): what each verification asks, that each state is closed, and what
// is reported. What the answers mean is the publisher check's (host tests); the
// real provider is exercised by the end-to-end runs.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/windows/trust_calls.h"
#include "platform/windows/windows_file.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

// Plain function pointers cannot carry state, so the script is one global.
struct Provider {
    std::vector<LONG> answers;             // one per verification, in order
    std::wstring name;                     // the signer's CN
    std::vector<DWORD> revocation_checks;  // fdwRevocationChecks, then dwProvFlags
    std::vector<HANDLE> files;
    int open_states = 0;
    CERT_CONTEXT certificate{};
    CRYPT_PROVIDER_CERT chain{};
    CRYPT_PROVIDER_SGNR signer{};
    CRYPT_PROVIDER_DATA data{};
} provider;

LONG WINAPI verify_trust(HWND, GUID*, LPVOID raw) {
    auto* data = static_cast<WINTRUST_DATA*>(raw);
    if (data->dwStateAction == WTD_STATEACTION_CLOSE) {
        if (data->hWVTStateData != nullptr) --provider.open_states;
        data->hWVTStateData = nullptr;
        return ERROR_SUCCESS;
    }
    provider.revocation_checks.insert(provider.revocation_checks.end(), {data->fdwRevocationChecks, data->dwProvFlags});
    provider.files.push_back(data->pFile->hFile);
    data->hWVTStateData = &provider.data;
    ++provider.open_states;
    LONG answer = provider.answers.front();
    provider.answers.erase(provider.answers.begin());
    return answer;
}
CRYPT_PROVIDER_DATA* WINAPI provider_data(HANDLE state) { return static_cast<CRYPT_PROVIDER_DATA*>(state); }
CRYPT_PROVIDER_SGNR* WINAPI provider_signer(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD) {
    provider.chain.pCert = &provider.certificate;
    provider.signer.csCertChain = 1;
    provider.signer.pasCertChain = &provider.chain;
    return &provider.signer;
}
DWORD WINAPI name_string(PCCERT_CONTEXT certificate, DWORD type, DWORD, void* attribute, LPWSTR out, DWORD size) {
    EXPECT_EQ(certificate, &provider.certificate);
    EXPECT_EQ(type, static_cast<DWORD>(CERT_NAME_ATTR_TYPE));
    EXPECT_STREQ(static_cast<const char*>(attribute), szOID_COMMON_NAME);
    auto needed = static_cast<DWORD>(provider.name.size() + 1);
    if (out != nullptr && size >= needed) provider.name.copy(out, provider.name.size()), out[needed - 1] = L'\0';
    return needed;
}

struct Case {
    const char* what;
    RevocationCheck revocation;
    LONG answer;
    const wchar_t* name;
    Expected<std::string, UntrustedSignature> wanted;
    std::vector<DWORD> revocation_checks;
};

TEST(InstallerSignatureWindowsTest, AsksTheProviderAndClosesEveryState) {
    auto files = make_file_system();
    auto temp = files->temp_directory();
    ASSERT_TRUE(temp.has_value());
    const std::string path = *temp + "quarnet-signature-test.exe";
    auto folder = files->open_folder(*temp, FolderUse::Hold);
    ASSERT_TRUE(folder.has_value());
    auto file = folder->folder->open_emptied("quarnet-signature-test.exe");
    ASSERT_TRUE(file.has_value());
    auto signature = make_installer_signature({&verify_trust, &provider_data, &provider_signer, &name_string});

    const auto CACHED = RevocationCheck::CachedOnly, ONLINE = RevocationCheck::Online, NONE = RevocationCheck::None;
    const std::vector<DWORD> cached = {WTD_REVOKE_WHOLECHAIN,
                                       WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | WTD_CACHE_ONLY_URL_RETRIEVAL},
                             online = {WTD_REVOKE_WHOLECHAIN, WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT},
                             none = {WTD_REVOKE_NONE, WTD_REVOCATION_CHECK_NONE};
    const Case cases[] = {
        {"trusted", CACHED, ERROR_SUCCESS, L"Pelorin Software Ltd", "Pelorin Software Ltd", cached},
        {"trusted without revocation", NONE, ERROR_SUCCESS, L"Pelorin", "Pelorin", none},
        {"revocation offline", CACHED, CRYPT_E_REVOCATION_OFFLINE, L"x",
         std::unexpected(UntrustedSignature{OsError::from_code(0x80092013)}), cached},
        {"a bad digest", NONE, TRUST_E_BAD_DIGEST, L"x",
         std::unexpected(UntrustedSignature{OsError::from_code(0x80096010)}), none},
        {"trusted, no common name", CACHED, ERROR_SUCCESS, L"", "", cached},
        {"trusted once fetched", ONLINE, ERROR_SUCCESS, L"Pelorin", "Pelorin", online},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        provider.answers = {c.answer};
        provider.name = c.name;
        provider.revocation_checks.clear();
        provider.files.clear();
        EXPECT_EQ(signature->trusted_signer(**file, path, c.revocation), c.wanted);
        EXPECT_EQ(provider.revocation_checks, c.revocation_checks);
        EXPECT_EQ(provider.files, std::vector<HANDLE>{native_handle(**file)});
        EXPECT_EQ(provider.open_states, 0);
    }
    file->reset();
    (void)folder->folder->delete_entry("quarnet-signature-test.exe");
}

}  // namespace
}  // namespace quarnet::windows
