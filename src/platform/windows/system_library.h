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
SystemLibrary& ntdll_library();
SystemLibrary& kernel32_library();

}  // namespace quarnet::windows

// SYSTEM_FUNCTION(library, Name): the function that the Windows headers declare
// as Name, found in library() on first use and kept for the life of the process;
// null when the library or the function is missing. Its type is the headers' own
// declaration, so no signature is written twice.
#define SYSTEM_FUNCTION(library, name) SYSTEM_FUNCTION_OF_TYPE(library, name, decltype(&::name))

// The same for a function whose declaration is written here (one the headers
// lack, or declare narrower than the function takes).
#define SYSTEM_FUNCTION_OF_TYPE(library, name, Type)                               \
    ([]() -> Type {                                                                \
        static const Type found = ::quarnet::windows::library().find<Type>(#name); \
        return found;                                                              \
    }())
