#include "list/version.h"

#include <algorithm>

namespace quarnet {

std::optional<Version> read_version(std::string_view text) {
    Version version{};
    std::size_t count = 0;
    for (;;) {
        std::size_t end = std::min(text.find('.'), text.size());
        if (count == version.size() || end == 0 || end > 9) return std::nullopt;
        for (char c : text.substr(0, end)) {
            if (c < '0' || c > '9') return std::nullopt;
            version[count] = version[count] * 10 + static_cast<std::uint32_t>(c - '0');
        }
        ++count;
        if (end == text.size()) return version;
        text.remove_prefix(end + 1);
    }
}

}  // namespace quarnet
