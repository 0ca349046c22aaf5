#include "platform/error_texts.h"

#include <string_view>

#include "platform/text.h"

namespace quarnet {
namespace {

constexpr std::uint32_t FACILITY_NT_BIT = 0x10000000;

// Unicode White_Space; every such character lies in the BMP.
constexpr bool is_white_space(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The text as a C string reads it: a NUL the system left inside ends it, so that
// no message ever carries one.
std::u16string_view up_to_nul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// Trimming before the conversion gives the same text as after it: a surrogate,
// paired or made U+FFFD, is never white space.
std::u16string_view trim_white_space(std::u16string_view text) {
    while (!text.empty() && is_white_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_white_space(text.back())) text.remove_suffix(1);
    return text;
}

// TAB, LF, FF, CR and space; VT stays.
std::string_view trim_trailing_os_space(std::string_view text) {
    while (!text.empty()) {
        char c = text.back();
        if (c != '\t' && c != '\n' && c != '\f' && c != '\r' && c != ' ') break;
        text.remove_suffix(1);
    }
    return text;
}

std::string signed_decimal(std::uint32_t value) { return std::to_string(static_cast<std::int32_t>(value)); }

std::string system_text(std::uint32_t code, ErrorTexts& texts) {
    MessageTable table = MessageTable::System;
    if ((code & FACILITY_NT_BIT) != 0 && texts.ntdll_loaded()) {
        code &= ~FACILITY_NT_BIT;
        table = MessageTable::Ntdll;
    }
    auto text = texts.buffer_text(code, table);
    if (!text) {
        return "OS Error " + signed_decimal(code) + " (FormatMessageW() returned error " +
               signed_decimal(text.error()) + ")";
    }
    auto utf8 = to_utf8_strict(up_to_nul(*text));
    if (!utf8) return "OS Error " + signed_decimal(code) + " (FormatMessageW() returned invalid UTF-16)";
    return std::string(trim_trailing_os_space(*utf8));
}

}  // namespace

std::uint32_t winhttp_error_code(std::uint32_t last_error) {
    auto signed_error = static_cast<std::int32_t>(last_error);
    if (signed_error <= 0) return last_error;
    return 0x80070000u | (last_error & 0xFFFFu);
}

std::string error_detail(std::uint32_t code, ErrorTexts& texts) {
    MessageTable table = MessageTable::System;
    if ((code & FACILITY_NT_BIT) != 0) {
        code &= ~FACILITY_NT_BIT;
        table = MessageTable::Ntdll;
    }
    auto text = texts.allocated_text(code, table);
    if (!text) return {};
    // The system's trailing CR LF is White_Space too, so one trim covers it.
    std::u16string_view trimmed = trim_white_space(up_to_nul(*text));
    if (trimmed.empty()) return {};
    return " (" + to_utf8_lossy(trimmed) + ")";
}

std::string os_error_text(const OsError& error, ErrorTexts& texts) {
    switch (error.kind()) {
        case OsError::Kind::WriteZero:
            return "failed to write whole buffer";
        case OsError::Kind::InteriorNul:
            return "strings passed to WinAPI cannot contain NULs";
        case OsError::Kind::Code:
            break;
    }
    auto code = static_cast<std::uint32_t>(error.code());
    return system_text(code, texts) + " (os error " + std::to_string(error.code()) + ")";
}

}  // namespace quarnet
