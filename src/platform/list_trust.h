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

struct ListKey {
    P256KeyBlob blob;
    std::array<std::uint8_t, 8> id;  // the first bytes of the SHA-256 of its DER SubjectPublicKeyInfo
};

// No keys: the list is the unsigned latest.json and nothing else here is used.
struct ListTrust {
    std::span<const ListKey> keys;
    std::string_view min_version;  // empty: any version
    WallClock* clock = nullptr;
};

}  // namespace quarnet
