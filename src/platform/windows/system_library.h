#pragma once
// DLLs other than kernel32 are loaded from System32 only and their functions
// found by name, so the import table names kernel32 and the C runtime alone: a
// DLL planted beside the exe (in a Downloads folder, say) is never loaded.

#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"

namespace quarnet::windows {

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name)
        : module_(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)),
          load_error_(module_.valid() ? ERROR_SUCCESS : ::GetLastError()) {}

    // The last error of a failed load; ERROR_SUCCESS when the library is there.
    DWORD load_error() const { return load_error_; }

    // The function of that name cast to the given pointer type, or null.
    template <class Function>
    Function find(const char* name) const {
        if (!module_.valid()) return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module_.get(), name)));
    }

private:
    UniqueLibrary module_;
    DWORD load_error_;
};

// The libraries the program uses, each loaded on first use and kept for the
// life of the process.
SystemLibrary& winhttp_library();
SystemLibrary& bcrypt_library();
SystemLibrary& ole32_library();
SystemLibrary& shell32_library();
SystemLibrary& user32_library();
SystemLibrary& crypt32_library();
SystemLibrary& wintrust_library();
SystemLibrary& advapi32_library();

}  // namespace quarnet::windows
