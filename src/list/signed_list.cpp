#include "list/signed_list.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "list/json_outline.h"
#include "platform/sha256.h"

namespace quarnet {
namespace {

constexpr std::string_view NOT_SIGNED = "The installer list on the website is not signed by Pelorin's publisher.";

// A DER SubjectPublicKeyInfo of an id-ecPublicKey on prime256v1, up to the
// uncompressed point's 0x04; X and Y follow.
constexpr std::array<std::uint8_t, 27> P256_SPKI_PREFIX = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                                           0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                                           0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
// BCRYPT_ECDSA_PUBLIC_P256_MAGIC ("ECS1") and the key length, both little-endian.
constexpr std::array<std::uint8_t, 8> P256_BLOB_HEADER = {0x45, 0x43, 0x53, 0x31, 0x20, 0x00, 0x00, 0x00};

using Version = std::array<std::uint32_t, 4>;  // missing numbers count as 0

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Whether a keyid text is the lower-case hexadecimal of a key's id.
bool names_key(const std::string& keyid, const ListKey& key) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    if (keyid.size() != 2 * key.id.size()) return false;
    for (std::size_t i = 0; i < key.id.size(); ++i) {
        if (keyid[2 * i] != DIGITS[key.id[i] >> 4] || keyid[2 * i + 1] != DIGITS[key.id[i] & 15]) return false;
    }
    return true;
}

// 1 to 4 numbers of 1 to 9 decimal digits, separated by dots.
std::optional<Version> read_version(std::string_view text) {
    Version version{};
    std::size_t count = 0;
    for (;;) {
        std::size_t end = std::min(text.find('.'), text.size());
        if (count == version.size() || end == 0 || end > 9) return std::nullopt;
        for (char c : text.substr(0, end)) {
            if (c < '0' || c > '9') return std::nullopt;
            version[count] = version[count] * 10 + static_cast<std::uint32_t>(c - '0');
        }
        ++count;
        if (end == text.size()) return version;
        text.remove_prefix(end + 1);
    }
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = year / 400;  // years from 0 to 9999 only
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

// Whether a signature verifies with a pinned key: the one its keyid names first, then every other.
bool signed_by_pinned_key(std::string_view signature, const std::string* keyid, const Sha256::Digest& digest,
                          std::span<const ListKey> keys) {
    const auto bytes = std::as_bytes(std::span(signature.data(), signature.size()));
    const auto named =
        keyid ? std::find_if(keys.begin(), keys.end(), [&](const ListKey& k) { return names_key(*keyid, k); })
              : keys.end();
    if (named != keys.end() && p256_signature_verifies(named->blob, digest, bytes)) return true;
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if (key != named && p256_signature_verifies(key->blob, digest, bytes)) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> decode_base64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const int value = sextet(c);
            if (c == '=' && last && i >= 2) {
                ++padding;
            } else if (value < 0 || padding > 0) {
                return std::nullopt;
            }
            group = group << 6 | static_cast<std::uint32_t>(value < 0 ? 0 : value);
        }
        // The bits beyond the last byte must be zero, so each text has one meaning.
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return std::nullopt;
        const char three[] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8), static_cast<char>(group)};
        bytes.append(three, static_cast<std::size_t>(3 - padding));
    }
    return bytes;
}

std::optional<std::int64_t> utc_time_of(std::string_view text) {
    constexpr std::string_view SHAPE = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != SHAPE.size()) return std::nullopt;
    for (std::size_t i = 0; i < SHAPE.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (SHAPE[i] == 'd' ? !digit : text[i] != SHAPE[i]) return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        std::int64_t value = 0;
        for (char c : text.substr(at, length)) value = value * 10 + (c - '0');
        return value;
    };
    const std::int64_t year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const std::int64_t hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    constexpr std::array<std::int64_t, 12> MONTH_DAYS = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return std::nullopt;
    if (day > MONTH_DAYS[static_cast<std::size_t>(month - 1)] + (month == 2 && leap)) return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return days_from_civil(year, month, day) * 86'400 + hour * 3'600 + minute * 60 + second;
}

std::string pre_authentication_encoding(std::string_view payload_type, std::string_view payload) {
    // Both lengths are far below 2^32 (the body is at most 64 KiB); unsigned shares the program's to_string.
    std::string encoded = "DSSEv1 " + std::to_string(static_cast<unsigned>(payload_type.size())) + " ";
    encoded += payload_type;
    encoded += " " + std::to_string(static_cast<unsigned>(payload.size())) + " ";
    encoded += payload;
    return encoded;
}

std::optional<ListKey> list_key_from_spki(std::span<const std::uint8_t> der) {
    if (der.size() != P256_SPKI_PREFIX.size() + 64 ||
        !std::equal(P256_SPKI_PREFIX.begin(), P256_SPKI_PREFIX.end(), der.begin()))
        return std::nullopt;
    ListKey key{};
    std::copy(P256_BLOB_HEADER.begin(), P256_BLOB_HEADER.end(), key.blob.begin());
    std::copy(der.begin() + P256_SPKI_PREFIX.size(), der.end(), key.blob.begin() + P256_BLOB_HEADER.size());
    Sha256 hash;
    hash.update(std::as_bytes(der));
    const Sha256::Digest digest = hash.finish();
    std::copy_n(digest.begin(), key.id.size(), key.id.begin());
    return key;
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
