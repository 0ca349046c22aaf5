#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarnet {

// Standard base64 with padding (RFC 4648, section 4), nothing else, every unused bit zero.
std::optional<std::string> decode_base64(std::string_view text);

}  // namespace quarnet
