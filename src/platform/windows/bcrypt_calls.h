#pragma once
// BCrypt from System32, for SHA-256 and the list's ECDSA signatures. bcrypt.dll
// ships with every supported Windows; when it or one of its functions cannot be
// had, the process ends, as it does when memory runs out.

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <bcrypt.h>

#include <cstdlib>

#include "platform/windows/system_library.h"

namespace quarnet::windows {

template <class Function>
Function required(Function function) {
    if (function == nullptr) std::abort();
    return function;
}

// BCRYPT(Name): bcrypt.dll's function of that name (SYSTEM_FUNCTION), which must be there.
#define BCRYPT(name) (::quarnet::windows::required(SYSTEM_FUNCTION(bcrypt_library, name)))

// A provider of the algorithm, newly opened: a caller keeps it for the life of the process.
inline BCRYPT_ALG_HANDLE open_bcrypt_provider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!BCRYPT_SUCCESS(BCRYPT(BCryptOpenAlgorithmProvider)(&provider, algorithm, nullptr, 0))) std::abort();
    return provider;
}

}  // namespace quarnet::windows
