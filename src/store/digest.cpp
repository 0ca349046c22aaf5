#include "store/digest.h"

#include <algorithm>
#include <memory>

#include "base/hex.h"

namespace quarnet {

std::string digest_text(DigestState state) { return hex_text(state.sha_.finish()); }

OsResult<HashedPrefix> hash_open_file(File& file, std::uint64_t limit) {
    DigestState state;
    auto buffer = std::make_unique_for_overwrite<std::byte[]>(HASH_BUFFER_SIZE);
    std::uint64_t remaining = limit;
    while (remaining > 0) {
        auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, HASH_BUFFER_SIZE));
        const std::size_t got = TRY(file.read(std::span(buffer.get(), wanted)));
        if (got == 0) break;
        state.update(std::span<const std::byte>(buffer.get(), got));
        remaining -= std::min<std::uint64_t>(got, remaining);
    }
    return HashedPrefix{state, limit - remaining};
}

}  // namespace quarnet
