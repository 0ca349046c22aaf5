#pragma once
// ECDSA P-256 signature checks from the platform's crypto library: BCrypt on
// Windows, OpenSSL's libcrypto on the host build.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/sha256.h"

namespace quarnet {

// A public key's point: X then Y, 32 bytes each, big-endian.
using P256Point = std::array<std::uint8_t, 64>;

// A DER SubjectPublicKeyInfo of an id-ecPublicKey on prime256v1, up to the
// uncompressed point's 0x04; X and Y follow.
inline constexpr std::array<std::uint8_t, 27> P256_SPKI_PREFIX = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                                                  0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                                                  0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
inline constexpr std::size_t P256_SPKI_SIZE = P256_SPKI_PREFIX.size() + std::tuple_size_v<P256Point>;

// The point of a DER SubjectPublicKeyInfo; nothing for anything but an
// uncompressed ECDSA P-256 key.
constexpr std::optional<P256Point> p256_point_of_spki(std::span<const std::uint8_t> der) {
    if (der.size() != P256_SPKI_SIZE || !std::equal(P256_SPKI_PREFIX.begin(), P256_SPKI_PREFIX.end(), der.begin()))
        return std::nullopt;
    P256Point point{};
    std::copy(der.begin() + P256_SPKI_PREFIX.size(), der.end(), point.begin());
    return point;
}

// A signature is r then s, 32 bytes each, big-endian; any other length never verifies.
inline constexpr std::size_t P256_SIGNATURE_SIZE = 64;

[[nodiscard]] bool p256_signature_verifies(const P256Point& key, const Sha256::Digest& digest,
                                           std::span<const std::byte> signature);

}  // namespace quarnet
