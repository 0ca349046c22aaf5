#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/environment.h"

namespace quarnet {

struct WebAddress {
    std::string host;
    std::string path;  // begins with "/"
    std::uint16_t port = 0;
    bool secure = false;
    friend bool operator==(const WebAddress&, const WebAddress&) = default;
};

// QUARNET_SETUP_URL when set (unchanged, the empty value included), else the
// default; always ends with "/".
std::string choose_download_base(Environment& environment);
std::string installer_list_address(std::string_view base);
std::string signed_list_address(std::string_view base);  // when the build pins list keys
std::string installer_address(std::string_view base, std::string_view file);
Result<WebAddress> parse_web_address(std::string_view text);

// An address, or a part of one, as a message quotes it: every NUL left out, so
// the message names it in full and still holds none.
std::string without_nuls(std::string_view text);

}  // namespace quarnet
