// Any address text: parsed into an address the rules allow, or refused with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/web_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto address = quarnet::parse_web_address(text);
    if (address) {
        if (address->path.empty() || address->path.front() != '/') std::abort();
        if (!address->secure && address->host != "127.0.0.1" && address->host != "localhost") std::abort();
    } else if (address.error().text().empty()) {
        std::abort();
    }
    return 0;
}
