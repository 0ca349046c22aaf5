#pragma once
// Text is held as UTF-8 and becomes UTF-16 only on its way into a Windows call.
// These conversions are pure and build on every platform.

#include <optional>
#include <string>
#include <string_view>

#include "base/os_error.h"

namespace quarnet {

// UTF-8 to UTF-16; a byte sequence that is not UTF-8 becomes U+FFFD.
std::u16string to_utf16(std::string_view utf8);

// For text bound for a path or another NUL-terminated argument: a NUL inside
// would silently cut it short, so it is refused instead.
OsResult<std::u16string> to_utf16_path(std::string_view utf8);

// UTF-16 to UTF-8, each unpaired surrogate replaced by U+FFFD.
std::string to_utf8_lossy(std::u16string_view utf16);

// UTF-16 to UTF-8, or nothing when the text holds an unpaired surrogate.
std::optional<std::string> to_utf8_strict(std::u16string_view utf16);

}  // namespace quarnet
