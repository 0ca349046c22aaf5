#pragma once
// ECDSA P-256 signature checks from the platform's crypto library: BCrypt on
// Windows, OpenSSL's libcrypto on the host build.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/sha256.h"

namespace quarnet {

// A public key as BCryptImportKeyPair takes it (BCRYPT_ECCPUBLIC_BLOB): the
// little-endian magic "ECS1" and key length 32, then X and Y, big-endian.
using P256KeyBlob = std::array<std::uint8_t, 72>;

// A signature is r then s, 32 bytes each, big-endian; any other length never verifies.
inline constexpr std::size_t P256_SIGNATURE_SIZE = 64;

[[nodiscard]] bool p256_signature_verifies(const P256KeyBlob& key, const Sha256::Digest& digest,
                                           std::span<const std::byte> signature);

}  // namespace quarnet
