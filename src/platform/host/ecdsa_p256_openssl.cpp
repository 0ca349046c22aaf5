// ECDSA P-256 checks for the host build: OpenSSL's EVP interface. The key's point
// becomes a DER SubjectPublicKeyInfo, the r||s signature the DER form OpenSSL reads.

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>
#include <memory>

#include "platform/ecdsa_p256.h"

namespace quarnet {
namespace {

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* object) const { Free(object); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using Signature = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG, ECDSA_SIG_free>>;

Key key_of(const P256Point& point) {
    std::array<unsigned char, P256_SPKI_SIZE> der{};
    std::copy(P256_SPKI_PREFIX.begin(), P256_SPKI_PREFIX.end(), der.begin());
    std::copy(point.begin(), point.end(), der.begin() + P256_SPKI_PREFIX.size());
    const unsigned char* at = der.data();
    return Key(d2i_PUBKEY(nullptr, &at, static_cast<long>(der.size())));
}

}  // namespace

bool p256_signature_verifies(const P256Point& point, const Sha256::Digest& digest,
                             std::span<const std::byte> signature) {
    if (signature.size() != P256_SIGNATURE_SIZE) return false;
    Key key = key_of(point);
    if (!key) return false;
    Signature pair(ECDSA_SIG_new());
    const auto* bytes = reinterpret_cast<const unsigned char*>(signature.data());
    BIGNUM* r = BN_bin2bn(bytes, 32, nullptr);
    BIGNUM* s = BN_bin2bn(bytes + 32, 32, nullptr);
    if (!pair || !r || !s || ECDSA_SIG_set0(pair.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    int der_size = i2d_ECDSA_SIG(pair.get(), &der);
    if (der_size <= 0) return false;
    KeyContext context(EVP_PKEY_CTX_new(key.get(), nullptr));
    const bool verified =
        context && EVP_PKEY_verify_init(context.get()) == 1 &&
        EVP_PKEY_verify(context.get(), der, static_cast<std::size_t>(der_size), digest.data(), digest.size()) == 1;
    OPENSSL_free(der);
    return verified;
}

}  // namespace quarnet
