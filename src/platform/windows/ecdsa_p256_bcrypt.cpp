// ECDSA P-256 checks for the Windows build: BCrypt (bcrypt_calls.h).

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ecdsa_p256.h"
#include "platform/windows/bcrypt_calls.h"
#include "platform/windows/unique_handle.h"

namespace quarnet {
namespace {

BCRYPT_ALG_HANDLE p256_provider() {
    static const BCRYPT_ALG_HANDLE provider = windows::open_bcrypt_provider(BCRYPT_ECDSA_P256_ALGORITHM);
    return provider;
}

struct KeyHandleTraits {  // BCryptImportKeyPair
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle key) { BCRYPT(BCryptDestroyKey)(key); }
};

}  // namespace

bool p256_signature_verifies(const P256Point& point, const Sha256::Digest& digest,
                             std::span<const std::byte> signature) {
    if (signature.size() != P256_SIGNATURE_SIZE) return false;
    // BCRYPT_ECCPUBLIC_BLOB: the magic "ECS1" and the key length, both little-endian, then X and Y.
    std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + std::tuple_size_v<P256Point>> blob{};
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::copy(point.begin(), point.end(), blob.begin() + sizeof header);
    BCRYPT_KEY_HANDLE imported = nullptr;
    if (!BCRYPT_SUCCESS(BCRYPT(BCryptImportKeyPair)(p256_provider(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported,
                                                    blob.data(), static_cast<ULONG>(blob.size()), 0)))
        return false;
    windows::UniqueHandle<KeyHandleTraits> owned(imported);
    auto* hash = const_cast<PUCHAR>(digest.data());
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(signature.data()));
    return BCRYPT_SUCCESS(BCRYPT(BCryptVerifySignature)(owned.get(), nullptr, hash, static_cast<ULONG>(digest.size()),
                                                        bytes, static_cast<ULONG>(signature.size()), 0));
}

}  // namespace quarnet
