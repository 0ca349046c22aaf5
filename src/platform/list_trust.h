#pragma once
// What a build pins to trust the installer list: the publisher's list keys
// (QUARNET_LIST_KEYS) and the oldest version it starts (QUARNET_LIST_MIN_VERSION).

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/ecdsa_p256.h"
#include "platform/wall_clock.h"

namespace quarnet {

using ListKeyId = std::array<std::uint8_t, 8>;  // the first bytes of the SHA-256 of its DER SubjectPublicKeyInfo

struct ListKey {
    P256Point point;
    ListKeyId id;
};

namespace pinning {
// Not constexpr: a pinned key that is no uncompressed P-256 key stops the build here.
inline void pinned_list_key_is_not_an_uncompressed_p256_key() {}
}  // namespace pinning

// A key as the build pins it (cmake/QuarnetListKeys.cmake writes each one's DER and id).
consteval ListKey pinned_list_key(const std::array<std::uint8_t, P256_SPKI_SIZE>& der, const ListKeyId& id) {
    const std::optional<P256Point> point = p256_point_of_spki(der);
    if (!point) pinning::pinned_list_key_is_not_an_uncompressed_p256_key();
    return ListKey{point.value_or(P256Point{}), id};
}

// No keys: the list is the unsigned latest.json and nothing else here is used.
struct ListTrust {
    std::span<const ListKey> keys;
    std::string_view min_version;  // empty: any version
    WallClock* clock = nullptr;
};

}  // namespace quarnet
