#pragma once

#include <string_view>

namespace quarnet {

// The product's web host, set at build time (QUARNET_PRODUCT_HOST): the default
// download base and the guide address in the failure prompt both name it.
inline constexpr std::string_view PRODUCT_WEB_HOST = QUARNET_PRODUCT_HOST;

}  // namespace quarnet
