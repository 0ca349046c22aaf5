#include "list/signed_list.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "base/hex.h"
#include "list/base64.h"
#include "list/installer_list.h"
#include "list/json_outline.h"
#include "list/utc_time.h"
#include "list/version.h"
#include "platform/sha256.h"

namespace quarnet {
namespace {

constexpr std::string_view NOT_SIGNED = "The installer list on the website is not signed by Pelorin's publisher.";

// Whether a signature verifies with a pinned key: the one its keyid names first, then every other.
bool signed_by_pinned_key(std::string_view signature, const std::string* keyid, const Sha256::Digest& digest,
                          std::span<const ListKey> keys) {
    const auto bytes = std::as_bytes(std::span(signature.data(), signature.size()));
    const auto named =
        keyid ? std::find_if(keys.begin(), keys.end(), [&](const ListKey& k) { return is_hex_text_of(*keyid, k.id); })
              : keys.end();
    if (named != keys.end() && p256_signature_verifies(named->point, digest, bytes)) return true;
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if (key != named && p256_signature_verifies(key->point, digest, bytes)) return true;
    }
    return false;
}

}  // namespace

std::string pre_authentication_encoding(std::string_view payload_type, std::string_view payload) {
    // Both lengths are far below 2^32 (the body is at most 64 KiB); unsigned shares the program's to_string.
    std::string encoded = "DSSEv1 " + std::to_string(static_cast<unsigned>(payload_type.size())) + " ";
    encoded += payload_type;
    encoded += " " + std::to_string(static_cast<unsigned>(payload.size())) + " ";
    encoded += payload;
    return encoded;
}

Result<std::string> open_signed_list(std::string_view envelope, std::span<const ListKey> keys) {
    std::optional<JsonOutline> outline = read_json_outline(envelope, "signatures");
    const std::string* payload_type = outline ? string_member(*outline, "payloadType") : nullptr;
    const std::string* payload_text = outline ? string_member(*outline, "payload") : nullptr;
    const JsonValue* signatures = outline ? find_member(*outline, "signatures") : nullptr;
    std::optional<std::string> payload = payload_text ? decode_base64(*payload_text) : std::nullopt;
    bool readable = payload_type && payload && signatures && signatures->kind == JsonValue::Kind::Array &&
                    !outline->item_not_object;
    // Every signature must be readable before any is tried.
    for (int item = outline ? outline->first_item : 0; readable && item < outline->items; ++item) {
        const std::string* sig = string_member(*outline, "sig", item);
        readable = sig && decode_base64(*sig) &&
                   (!find_member(*outline, "keyid", item) || string_member(*outline, "keyid", item));
    }
    if (!readable) return failure(std::string(LIST_UNREADABLE));

    if (*payload_type == LIST_PAYLOAD_TYPE) {
        Sha256 hash;
        const std::string signed_bytes = pre_authentication_encoding(*payload_type, *payload);
        hash.update(std::as_bytes(std::span(signed_bytes.data(), signed_bytes.size())));
        const Sha256::Digest digest = hash.finish();
        for (int item = outline->first_item; item < outline->items; ++item) {
            const std::string signature = *decode_base64(*string_member(*outline, "sig", item));
            if (signed_by_pinned_key(signature, string_member(*outline, "keyid", item), digest, keys))
                return std::move(*payload);
        }
    }
    return failure(std::string(NOT_SIGNED));
}

Result<Release> check_signed_payload(std::string_view payload, std::string_view min_version, std::int64_t now) {
    std::optional<JsonOutline> outline = read_json_outline(payload);
    if (!outline) return failure(std::string(LIST_UNREADABLE));
    Result<Release> release = check_list_values(list_values(*outline));
    if (!release) return release;
    const std::string* expires = string_member(*outline, "expires");
    constexpr std::int64_t NO_TIME = std::numeric_limits<std::int64_t>::min();
    const std::int64_t expiry = expires ? utc_time_of(*expires).value_or(NO_TIME) : NO_TIME;
    const std::optional<Version> minimum = read_version(min_version);
    const std::optional<Version> version = read_version(release->version);
    if (expiry == NO_TIME || (minimum && !version)) return failure(std::string(LIST_INCOMPLETE));
    if (now - expiry > EXPIRY_GRACE_SECONDS) {
        return failure("The installer list on the website has expired (" + *expires +
                       "). Is the computer's date right?");
    }
    if (minimum && *version < *minimum) {
        return failure("The website offers an older Pelorin (" + release->version + ") than this setup accepts.");
    }
    return release;
}

Result<Release> read_signed_list(std::string_view envelope, const ListTrust& trust) {
    const std::string payload = TRY(open_signed_list(envelope, trust.keys));
    return check_signed_payload(payload, trust.min_version, trust.clock->utc_seconds());
}

}  // namespace quarnet
