#include "platform/windows/system_library.h"

namespace quarnet::windows {

SystemLibrary& winhttp_library() {
    // WinHTTP imports bcrypt.dll itself, and a loader may look for a DLL's own
    // imports beside the exe (Wine does). Loaded from System32 first, the module
    // already in the process is the one those imports bind to.
    bcrypt_library();
    static SystemLibrary library(L"winhttp.dll");
    return library;
}
SystemLibrary& bcrypt_library() {
    static SystemLibrary library(L"bcrypt.dll");
    return library;
}
SystemLibrary& ole32_library() {
    static SystemLibrary library(L"ole32.dll");
    return library;
}
SystemLibrary& shell32_library() {
    static SystemLibrary library(L"shell32.dll");
    return library;
}
SystemLibrary& user32_library() {
    static SystemLibrary library(L"user32.dll");
    return library;
}
SystemLibrary& crypt32_library() {
    static SystemLibrary library(L"crypt32.dll");
    return library;
}
SystemLibrary& wintrust_library() {
    // wintrust.dll imports crypt32.dll; loaded first, as bcrypt.dll is for WinHTTP.
    crypt32_library();
    static SystemLibrary library(L"wintrust.dll");
    return library;
}

SystemLibrary& advapi32_library() {
    static SystemLibrary library(L"advapi32.dll");
    return library;
}

SystemLibrary& kernel32_library() {
    static SystemLibrary library(L"kernel32.dll");  // imported already; this finds what newer versions add
    return library;
}

SystemLibrary& ntdll_library() {
    static SystemLibrary library(L"ntdll.dll");  // in every process already; this only finds it
    return library;
}

}  // namespace quarnet::windows
