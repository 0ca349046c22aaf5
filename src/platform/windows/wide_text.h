#pragma once
// UTF-16 text as Windows takes it: wchar_t is 16 bits there.

#include <string>
#include <string_view>

namespace quarnet::windows {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring to_wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string from_wide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace quarnet::windows
