#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/ecdsa_p256.h"

namespace quarnet {
namespace {

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

// A signature of "abc" made by `openssl dgst -sha256 -sign` (its DER form turned into r||s),
// checked here by the platform's library: OpenSSL on the host, BCrypt under Wine.
TEST(EcdsaP256, VerifiesWhatOpenSslSigned) {
    P256Point key{};
    const std::string point = from_hex(
        "f0434c1c918ca8c6c49d3bb05d9abd1ff0df0bca0ef032b719d505b3b50d8e26"
        "57e8d4df80724a01b342fd2cc1fe0a8f67a0a96722b56990d7dd2f168f47de5e");
    std::copy(point.begin(), point.end(), key.begin());
    std::string signature = from_hex(
        "c9145e258be6081160aa2597e35200c552d0686a5c3a26a2d3eb2b8ed3837317"
        "f44ac593601eca06b2e0a57ab63eb0087f0b83dddc4373fde1acdcbf8289542a");
    Sha256 hash;
    hash.update(std::as_bytes(std::span("abc", 3)));
    const Sha256::Digest digest = hash.finish();
    auto verifies = [&](std::string_view bytes) {
        return p256_signature_verifies(key, digest, std::as_bytes(std::span(bytes.data(), bytes.size())));
    };

    EXPECT_TRUE(verifies(signature));
    EXPECT_FALSE(verifies(std::string(signature).substr(0, 63)));
    signature[40] ^= 1;
    EXPECT_FALSE(verifies(signature));
}

}  // namespace
}  // namespace quarnet
