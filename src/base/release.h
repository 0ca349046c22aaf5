#pragma once
// The release the download site's list announces: the one value the store,
// the transfer and the driver take from the list, without the list's web reading.

#include <cstdint>
#include <string>

namespace quarnet {

struct Release {
    std::string version;
    std::string file;
    std::string sha256;  // 64 lower-case hexadecimal digits
    std::uint64_t size = 0;
    friend bool operator==(const Release&, const Release&) = default;
};

}  // namespace quarnet
