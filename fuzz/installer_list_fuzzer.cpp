// Any body the website may send: the list parser must end in a list or in one
// of its messages, never crash or loop.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "list/installer_list.h"
#include "list/signed_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    auto list = quarnet::parse_installer_list(body);
    if (list) {
        // What the later steps rely on.
        if (list->file.empty() || list->size == 0 || list->sha256.size() != 64) std::abort();
        if (list->file.find_first_of("/\\:") != std::string::npos || list->file.find("..") != std::string::npos)
            std::abort();
    } else if (list.error().text().empty()) {
        std::abort();
    }
    // The same body as a signed list's envelope (no key: nothing verifies) and as its payload.
    if (quarnet::open_signed_list(body, {})) std::abort();
    auto payload = quarnet::check_signed_payload(body, "1.2", 1'800'000'000);
    if (!payload && payload.error().text().empty()) std::abort();
    return 0;
}
