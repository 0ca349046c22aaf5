#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quarnet {

// The seconds since 1970 that "YYYY-MM-DDTHH:MM:SSZ" names, when it names a real UTC time.
std::optional<std::int64_t> utc_time_of(std::string_view text);

}  // namespace quarnet
