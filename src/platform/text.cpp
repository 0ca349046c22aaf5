#include "platform/text.h"

#include <cstdint>

namespace quarnet {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Decodes one UTF-8 sequence at `pos`, advancing it; U+FFFD for each byte that
// starts no valid (shortest-form, non-surrogate) sequence.
char32_t next_code_point(std::string_view text, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return REPLACEMENT;
    }
    if (pos + length > text.size()) {
        ++pos;
        return REPLACEMENT;
    }
    for (int i = 1; i < length; ++i) {
        std::uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return REPLACEMENT;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++pos;
        return REPLACEMENT;
    }
    pos += length;
    return c;
}

// Decodes UTF-16; `strict` stops at the first unpaired surrogate.
std::optional<std::string> utf16_to_utf8(std::u16string_view text, bool strict) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (strict) return std::nullopt;
            c = REPLACEMENT;
        }
        append_utf8(out, c);
    }
    return out;
}

}  // namespace

std::u16string to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) append_utf16(out, next_code_point(utf8, pos));
    return out;
}

OsResult<std::u16string> to_utf16_path(std::string_view utf8) {
    if (utf8.find('\0') != std::string_view::npos) return std::unexpected(OsError::interior_nul());
    return to_utf16(utf8);
}

std::string to_utf8_lossy(std::u16string_view utf16) { return *utf16_to_utf8(utf16, false); }

std::optional<std::string> to_utf8_strict(std::u16string_view utf16) { return utf16_to_utf8(utf16, true); }

}  // namespace quarnet
