#pragma once
// The system's texts for error codes (FormatMessageW). Only the calls live here;
// which table to ask, and how the answer is trimmed, is decided by
// base/failure_message.cpp.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os_error.h"

namespace quarnet {

enum class MessageTable {
    System,  // FORMAT_MESSAGE_FROM_SYSTEM alone
    Ntdll,   // ntdll.dll's table as well (FORMAT_MESSAGE_FROM_HMODULE)
};

class ErrorTexts {
public:
    virtual ~ErrorTexts() = default;

    // FormatMessageW with a buffer it allocates itself: flags 0x1300, or 0x1B00
    // with ntdll.dll loaded by LoadLibraryExA(.., LOAD_LIBRARY_SEARCH_DEFAULT_DIRS).
    // Nothing when the call returns 0 or gives no buffer.
    virtual std::optional<std::u16string> allocated_text(std::uint32_t code, MessageTable table) = 0;

    // FormatMessageW into a caller's buffer of 2048 units: flags 0x1200, or 0x1A00
    // with the ntdll.dll module already loaded. On failure, the call's last error.
    virtual Expected<std::u16string, std::uint32_t> buffer_text(std::uint32_t code, MessageTable table) = 0;

    // GetModuleHandleW("NTDLL.DLL") found the module.
    virtual bool ntdll_loaded() = 0;
};

}  // namespace quarnet
