#pragma once
// The system's texts for error codes: the FormatMessageW calls (ErrorTexts, a
// seam), and the two pure ways their answers go into a failure message, which
// decide which table to ask and how the answer is trimmed.

#include <cstdint>
#include <optional>
#include <string>

#include "base/os_error.h"

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

// The last error of a failed WinHTTP call in HRESULT form: positive values
// become 0x8007xxxx, 0 stays 0, anything else is used unchanged.
std::uint32_t winhttp_error_code(std::uint32_t last_error);

// Empty, or " (" + the system's text for the code + ")".
std::string error_detail(std::uint32_t code, ErrorTexts& texts);

// The system's text + " (os error N)", or the fixed text of an error the file
// layer met itself.
std::string os_error_text(const OsError& error, ErrorTexts& texts);

}  // namespace quarnet
