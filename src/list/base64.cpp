#include "list/base64.h"

#include <cstdint>

namespace quarnet {
namespace {

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::string> decode_base64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const int value = sextet(c);
            if (c == '=' && last && i >= 2) {
                ++padding;
            } else if (value < 0 || padding > 0) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<std::uint32_t>(value < 0 ? 0 : value);
        }
        // The bits beyond the last byte must be zero, so each text has one meaning.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return std::nullopt;
        const char three[] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8), static_cast<char>(group)};
        bytes.append(three, static_cast<std::size_t>(3 - padding));
    }
    return bytes;
}

}  // namespace quarnet
