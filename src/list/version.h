#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quarnet {

// A version's numbers in order; missing ones count as 0, so "4.2" equals "4.2.0.0".
using Version = std::array<std::uint32_t, 4>;

// 1 to 4 numbers of 1 to 9 decimal digits, separated by dots; nothing for any other text.
std::optional<Version> read_version(std::string_view text);

}  // namespace quarnet
