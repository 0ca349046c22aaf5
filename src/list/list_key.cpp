#include "list/list_key.h"

#include <algorithm>

#include "platform/sha256.h"

namespace quarnet {

std::optional<ListKey> list_key_from_spki(std::span<const std::uint8_t> der) {
    const std::optional<P256Point> point = p256_point_of_spki(der);
    if (!point) return std::nullopt;
    ListKey key{*point, {}};
    Sha256 hash;
    hash.update(std::as_bytes(der));
    const Sha256::Digest digest = hash.finish();
    std::copy_n(digest.begin(), key.id.size(), key.id.begin());
    return key;
}

}  // namespace quarnet
