#include "platform/windows/system_library.h"

namespace quarnet::windows {
namespace {

// Loaded on first use, after the libraries it imports itself: a loader may look
// for a DLL's own imports beside the exe (Wine does), and a module already in
// the process from System32 is the one those imports bind to.
template <const wchar_t* const* Name, SystemLibrary& (*... Imports)()>
SystemLibrary& loaded() {
    (Imports(), ...);
    static SystemLibrary library(*Name);
    return library;
}

constexpr const wchar_t* WINHTTP = L"winhttp.dll";
constexpr const wchar_t* BCRYPT = L"bcrypt.dll";
constexpr const wchar_t* OLE32 = L"ole32.dll";
constexpr const wchar_t* SHELL32 = L"shell32.dll";
constexpr const wchar_t* USER32 = L"user32.dll";
constexpr const wchar_t* CRYPT32 = L"crypt32.dll";
constexpr const wchar_t* WINTRUST = L"wintrust.dll";
constexpr const wchar_t* ADVAPI32 = L"advapi32.dll";
constexpr const wchar_t* KERNEL32 = L"kernel32.dll";  // imported already; this finds what newer versions add
constexpr const wchar_t* NTDLL = L"ntdll.dll";        // in every process already; this only finds it

}  // namespace

SystemLibrary& winhttp_library() { return loaded<&WINHTTP, bcrypt_library>(); }
SystemLibrary& bcrypt_library() { return loaded<&BCRYPT>(); }
SystemLibrary& ole32_library() { return loaded<&OLE32>(); }
SystemLibrary& shell32_library() { return loaded<&SHELL32>(); }
SystemLibrary& user32_library() { return loaded<&USER32>(); }
SystemLibrary& crypt32_library() { return loaded<&CRYPT32>(); }
SystemLibrary& wintrust_library() { return loaded<&WINTRUST, crypt32_library>(); }
SystemLibrary& advapi32_library() { return loaded<&ADVAPI32>(); }
SystemLibrary& kernel32_library() { return loaded<&KERNEL32>(); }
SystemLibrary& ntdll_library() { return loaded<&NTDLL>(); }

}  // namespace quarnet::windows
