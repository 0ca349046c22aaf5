#include "platform/windows/folder_security.h"

#include <memory>

#include "platform/windows/file_calls.h"
#include "platform/windows/nt_calls.h"
#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"
// After windows_api.h, so the same settings hold for them.
#include <aclapi.h>
#include <sddl.h>

namespace quarnet::windows {
namespace {

constexpr std::wstring_view LOCAL_SYSTEM_SID = L"S-1-5-18";
constexpr std::wstring_view ADMINISTRATORS_SID = L"S-1-5-32-544";

// ntdll's NtSetSecurityObject ("NtSetSecurityObject function (ntifs.h)").
using SetSecurityObject = LONG(NTAPI*)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);

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
    static const SecurityCalls found{
        SYSTEM_FUNCTION(advapi32_library, OpenProcessToken),
        SYSTEM_FUNCTION(advapi32_library, GetTokenInformation),
        SYSTEM_FUNCTION(advapi32_library, ConvertSidToStringSidW),
        SYSTEM_FUNCTION(advapi32_library, ConvertStringSecurityDescriptorToSecurityDescriptorW),
        SYSTEM_FUNCTION(advapi32_library, GetSecurityInfo),
    };
    return found;
}

OsResult<std::wstring> sid_text(PSID sid) {
    wchar_t* text = nullptr;
    if (!calls().sid_to_text(sid, &text)) return call_failed("ConvertSidToStringSidW");
    UniqueLocalText owned(text);
    return std::wstring(text);
}

// The process token's user ("S-1-5-21-…", or S-1-5-18 when run as SYSTEM).
OsResult<std::wstring> token_user() {
    HANDLE opened = nullptr;
    if (!calls().open_process_token(::GetCurrentProcess(), TOKEN_QUERY, &opened))
        return call_failed("OpenProcessToken");
    UniqueKernelHandle token(opened);
    DWORD size = 0;
    calls().token_information(token.get(), TokenUser, nullptr, 0, &size);
    auto buffer = std::make_unique<std::uint64_t[]>(size / sizeof(std::uint64_t) + 1);  // aligned for TOKEN_USER
    if (!calls().token_information(token.get(), TokenUser, buffer.get(), size, &size)) {
        return call_failed("GetTokenInformation");
    }
    return sid_text(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid);
}

const OsResult<std::wstring>& current_user() {
    static const OsResult<std::wstring> user =
        calls().complete() ? token_user() : OsResult<std::wstring>(call_failed("GetProcAddress", ERROR_PROC_NOT_FOUND));
    return user;
}

// P: protected, nothing inherited; OICI: files and folders inside inherit it; FA: full control.
constexpr std::wstring_view PRIVATE_FOLDER_SDDL = L"D:P(A;OICI;FA;;;{user})(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

}  // namespace

OsResult<UniqueLocalMemory<PSECURITY_DESCRIPTOR>> descriptor_for_user(std::wstring sddl) {
    const std::wstring user = TRY(current_user());
    constexpr std::wstring_view USER = L"{user}";
    for (auto at = sddl.find(USER); at != std::wstring::npos; at = sddl.find(USER, at + user.size())) {
        sddl.replace(at, USER.size(), user);
    }
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!calls().descriptor_from_text(sddl.c_str(), SDDL_REVISION_1, &made, nullptr))
        return call_failed("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    return UniqueLocalMemory<PSECURITY_DESCRIPTOR>(made);
}

OsResult<void> create_private_directory(const std::wstring& path) {
    auto descriptor = TRY(descriptor_for_user(std::wstring(PRIVATE_FOLDER_SDDL)));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!::CreateDirectoryW(path.c_str(), &attributes)) return call_failed("CreateDirectoryW");
    return {};
}

OsResult<void> make_private(HANDLE folder) {
    auto set_security = SYSTEM_FUNCTION_OF_TYPE(ntdll_library, NtSetSecurityObject, SetSecurityObject);
    if (set_security == nullptr) return call_failed("NtSetSecurityObject", ERROR_PROC_NOT_FOUND);
    auto descriptor = TRY(descriptor_for_user(std::wstring(PRIVATE_FOLDER_SDDL)));
    // The held handle asks for no WRITE_DAC. READ_CONTROL as well: Wine reads the
    // DACL's flags before it writes a file's.
    UniqueFileHandle writable(::ReOpenFile(folder, READ_CONTROL | WRITE_DAC,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!writable.valid()) return call_failed("ReOpenFile");
    // The object's own descriptor, protection included ("D:P"); unlike
    // SetSecurityInfo, nothing is propagated to children.
    LONG status = set_security(writable.get(), DACL_SECURITY_INFORMATION, descriptor.get());
    if (status < 0) return status_failed("NtSetSecurityObject", status);
    return {};
}

OsResult<FolderOwner> owner_of(HANDLE object) {
    // A volume that keeps no security answers a query with a made-up descriptor
    // (owner Everyone) or not at all; its own flags say so. When it cannot say,
    // the owner is asked.
    DWORD volume_flags = 0;
    if (::GetVolumeInformationByHandleW(object, nullptr, 0, nullptr, nullptr, &volume_flags, nullptr, 0) &&
        (volume_flags & FILE_PERSISTENT_ACLS) == 0) {
        return FolderOwner::None;
    }
    const std::wstring user = TRY(current_user());
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR found = nullptr;
    DWORD error = calls().security_info(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                        nullptr, &found);
    if (error != ERROR_SUCCESS) return call_failed("GetSecurityInfo", error);
    UniqueLocalMemory<PSECURITY_DESCRIPTOR> descriptor(found);
    if (owner == nullptr) return FolderOwner::Stranger;  // nobody's is nobody we trust
    const std::wstring text = TRY(sid_text(owner));
    const bool trusted = text == user || text == LOCAL_SYSTEM_SID || text == ADMINISTRATORS_SID;
    return trusted ? FolderOwner::Trusted : FolderOwner::Stranger;
}

}  // namespace quarnet::windows
