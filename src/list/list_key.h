#pragma once
// Pinning a key from its DER form at run time: for the publisher's tool and tests (the
// exe pins its keys as it compiles).

#include <cstdint>
#include <optional>
#include <span>

#include "platform/list_trust.h"

namespace quarnet {

// A key as the build pins it, from its DER SubjectPublicKeyInfo; nothing for
// anything but an uncompressed ECDSA P-256 key.
std::optional<ListKey> list_key_from_spki(std::span<const std::uint8_t> der);

}  // namespace quarnet
