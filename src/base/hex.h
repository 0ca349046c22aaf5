#pragma once
// Bytes as lower-case hexadecimal text: digests, key ids.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarnet {

constexpr char hex_digit(unsigned nibble) { return "0123456789abcdef"[nibble & 0x0F]; }

inline std::string hex_text(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(2 * bytes.size());
    for (std::uint8_t byte : bytes) {
        text += hex_digit(byte >> 4);
        text += hex_digit(byte);
    }
    return text;
}

// Whether `text` is the hex_text of `bytes`, without making it.
constexpr bool is_hex_text_of(std::string_view text, std::span<const std::uint8_t> bytes) {
    if (text.size() != 2 * bytes.size()) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (text[2 * i] != hex_digit(bytes[i] >> 4) || text[2 * i + 1] != hex_digit(bytes[i])) return false;
    }
    return true;
}

// Exactly `digits` characters, each 0-9 or a-f.
inline bool is_lower_hex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace quarnet
