#pragma once
// The list a build with pinned keys reads: latest.signed.json, an envelope whose
// payload is the list, signed with ECDSA P-256 over its pre-authentication
// encoding, and whose list says until when it may be used.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/result.h"
#include "list/installer_list.h"
#include "platform/list_trust.h"

namespace quarnet {

inline constexpr std::string_view LIST_PAYLOAD_TYPE = "application/vnd.pelorin.installer-list+json";
// How far past its expiry a list is still taken, for clocks a little wrong.
inline constexpr std::int64_t EXPIRY_GRACE_SECONDS = 24 * 60 * 60;

// What a signature covers: "DSSEv1", the type and the payload, each of the two
// after its length in decimal, all separated by spaces.
std::string pre_authentication_encoding(std::string_view payload_type, std::string_view payload);

// The payload's bytes once a signature by a pinned key verifies; nothing of it
// is read before.
Result<std::string> open_signed_list(std::string_view envelope, std::span<const ListKey> keys);

// The payload read as latest.json, with its expiry and the minimum version; `now`
// in seconds since 1970 (UTC).
Result<Release> check_signed_payload(std::string_view payload, std::string_view min_version, std::int64_t now);

// Both of the above, on the clock of `trust`.
Result<Release> read_signed_list(std::string_view envelope, const ListTrust& trust);

}  // namespace quarnet
