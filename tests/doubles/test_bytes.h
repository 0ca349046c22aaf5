#pragma once
// Bytes for tests: a text as bytes, its SHA-256, a file's whole content.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "store/digest.h"

namespace quarnet {

inline std::span<const std::byte> bytes_of(std::string_view text) { return std::as_bytes(std::span(text)); }

// `count` bytes of a pattern that repeats only every 251 bytes.
inline std::string pattern_bytes(std::size_t count, unsigned seed = 3) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
    return bytes;
}

inline DigestState digest_of(std::string_view bytes) {
    DigestState state;
    state.update(bytes_of(bytes));
    return state;
}

// The lower-case hexadecimal SHA-256 of the bytes, as a list announces it.
inline std::string sha256_of(std::string_view bytes) { return digest_text(digest_of(bytes)); }

// Everything from the file's position to its end ("<error N>" when a read fails).
inline std::string read_all(File& file) {
    std::string content;
    char buffer[4096];
    for (;;) {
        auto got = file.read(std::as_writable_bytes(std::span(buffer)));
        if (!got) return "<error " + std::to_string(got.error().code()) + ">";
        if (*got == 0) return content;
        content.append(buffer, *got);
    }
}

}  // namespace quarnet
