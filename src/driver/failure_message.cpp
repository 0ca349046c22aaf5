#include "driver/failure_message.h"

#include <string_view>

#include "platform/text.h"

namespace quarnet {
namespace {

constexpr std::uint32_t FACILITY_NT_BIT = 0x10000000;

// Unicode White_Space, as UTF-8 byte sequences.
constexpr std::string_view WHITE_SPACE[] = {
    "\t", "\n", "\v", "\f", "\r", " ",
    "\xC2\x85",                                                          // U+0085
    "\xC2\xA0",                                                          // U+00A0
    "\xE1\x9A\x80",                                                      // U+1680
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",      // U+2000..
    "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87",      //
    "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",                      // ..U+200A
    "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF",                      // U+2028, U+2029, U+202F
    "\xE2\x81\x9F",                                                      // U+205F
    "\xE3\x80\x80",                                                      // U+3000
};

std::size_t white_space_prefix(std::string_view text) {
    for (auto space : WHITE_SPACE) {
        if (text.starts_with(space)) return space.size();
    }
    return 0;
}

std::size_t white_space_suffix(std::string_view text) {
    for (auto space : WHITE_SPACE) {
        if (text.ends_with(space)) return space.size();
    }
    return 0;
}

std::string_view trim_white_space(std::string_view text) {
    while (std::size_t n = white_space_prefix(text)) text.remove_prefix(n);
    while (std::size_t n = white_space_suffix(text)) text.remove_suffix(n);
    return text;
}

// Space and TAB to CR, as the system's texts end in them.
std::u16string_view trim_trailing_control_space(std::u16string_view text) {
    while (!text.empty() && (text.back() == u' ' || (text.back() >= 0x09 && text.back() <= 0x0D))) {
        text.remove_suffix(1);
    }
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
    auto utf8 = to_utf8_strict(*text);
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
    std::string utf8 = to_utf8_lossy(trim_trailing_control_space(*text));
    std::string_view trimmed = trim_white_space(utf8);
    if (trimmed.empty()) return {};
    return " (" + std::string(trimmed) + ")";
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
