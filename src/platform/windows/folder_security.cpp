#include "platform/windows/folder_security.h"

#include <memory>

#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"
// After windows_api.h, so the same settings hold for them.
#include <aclapi.h>
#include <sddl.h>

namespace quarnet::windows {
namespace {

constexpr std::wstring_view LOCAL_SYSTEM_SID = L"S-1-5-18";
constexpr std::wstring_view ADMINISTRATORS_SID = L"S-1-5-32-544";

struct SecurityCalls {
    decltype(&::OpenProcessToken) open_process_token = nullptr;
    decltype(&::GetTokenInformation) token_information = nullptr;
    decltype(&::ConvertSidToStringSidW) sid_to_text = nullptr;
    decltype(&::ConvertStringSecurityDescriptorToSecurityDescriptorW) descriptor_from_text = nullptr;
    decltype(&::GetSecurityInfo) security_info = nullptr;

    bool complete() const {
        return open_process_token && token_information && sid_to_text && descriptor_from_text && security_info;
    }
};

const SecurityCalls& calls() {
    static const SecurityCalls found = [] {
        const SystemLibrary& library = advapi32_library();
        SecurityCalls c;
        c.open_process_token = library.find<decltype(c.open_process_token)>("OpenProcessToken");
        c.token_information = library.find<decltype(c.token_information)>("GetTokenInformation");
        c.sid_to_text = library.find<decltype(c.sid_to_text)>("ConvertSidToStringSidW");
        c.descriptor_from_text =
            library.find<decltype(c.descriptor_from_text)>("ConvertStringSecurityDescriptorToSecurityDescriptorW");
        c.security_info = library.find<decltype(c.security_info)>("GetSecurityInfo");
        return c;
    }();
    return found;
}

std::unexpected<OsError> failed(DWORD error) { return std::unexpected(OsError::from_code(error)); }

OsResult<std::wstring> sid_text(PSID sid) {
    wchar_t* text = nullptr;
    if (!calls().sid_to_text(sid, &text)) return failed(::GetLastError());
    UniqueLocalText owned(text);
    return std::wstring(text);
}

// The process token's user ("S-1-5-21-…", or S-1-5-18 when run as SYSTEM).
OsResult<std::wstring> token_user() {
    HANDLE opened = nullptr;
    if (!calls().open_process_token(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return failed(::GetLastError());
    UniqueKernelHandle token(opened);
    DWORD size = 0;
    calls().token_information(token.get(), TokenUser, nullptr, 0, &size);
    auto buffer = std::make_unique<std::uint64_t[]>(size / sizeof(std::uint64_t) + 1);  // aligned for TOKEN_USER
    if (!calls().token_information(token.get(), TokenUser, buffer.get(), size, &size)) {
        return failed(::GetLastError());
    }
    return sid_text(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid);
}

const OsResult<std::wstring>& current_user() {
    static const OsResult<std::wstring> user =
        calls().complete() ? token_user() : OsResult<std::wstring>(failed(ERROR_PROC_NOT_FOUND));
    return user;
}

}  // namespace

OsResult<void> create_private_directory(const std::wstring& path) {
    const auto& user = current_user();
    if (!user) return std::unexpected(user.error());
    // P: protected, nothing inherited; OICI: files and folders inside inherit it; FA: full control.
    std::wstring sddl = L"D:P(A;OICI;FA;;;" + *user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!calls().descriptor_from_text(sddl.c_str(), SDDL_REVISION_1, &made, nullptr)) return failed(::GetLastError());
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor(made);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!::CreateDirectoryW(path.c_str(), &attributes)) return failed(::GetLastError());
    return {};
}

OsResult<bool> owned_by_trusted(HANDLE object) {
    const auto& user = current_user();
    if (!user) return std::unexpected(user.error());
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;
    DWORD error = calls().security_info(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                        nullptr, &found);
    if (error != ERROR_SUCCESS) return failed(error);
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor(found);
    if (owner == nullptr) return false;  // no owner recorded (a file system without security)
    auto text = sid_text(owner);
    if (!text) return std::unexpected(text.error());
    return *text == *user || *text == LOCAL_SYSTEM_SID || *text == ADMINISTRATORS_SID;
}

}  // namespace quarnet::windows
