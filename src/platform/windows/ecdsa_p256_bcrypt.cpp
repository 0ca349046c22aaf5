// ECDSA P-256 checks for the Windows build: BCrypt, loaded from System32 as for
// SHA-256. When it cannot be had the process ends, as it does for SHA-256.

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <bcrypt.h>

#include <cstdlib>

#include "platform/ecdsa_p256.h"
#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"

namespace quarnet {
namespace {

struct EcdsaCalls {
    decltype(&::BCryptImportKeyPair) import_key;
    decltype(&::BCryptVerifySignature) verify;
    decltype(&::BCryptDestroyKey) destroy_key;
    BCRYPT_ALG_HANDLE p256 = nullptr;
};

const EcdsaCalls& ecdsa() {
    static const EcdsaCalls calls = [] {
        auto open_provider = SYSTEM_FUNCTION(bcrypt_library, BCryptOpenAlgorithmProvider);
        EcdsaCalls c{
            SYSTEM_FUNCTION(bcrypt_library, BCryptImportKeyPair),
            SYSTEM_FUNCTION(bcrypt_library, BCryptVerifySignature),
            SYSTEM_FUNCTION(bcrypt_library, BCryptDestroyKey),
        };
        if (!open_provider || !c.import_key || !c.verify || !c.destroy_key ||
            !BCRYPT_SUCCESS(open_provider(&c.p256, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
            std::abort();
        return c;
    }();
    return calls;
}

struct KeyHandleTraits {  // BCryptImportKeyPair
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle invalid() { return nullptr; }
    static void close(Handle key) { ecdsa().destroy_key(key); }
};

}  // namespace

bool p256_signature_verifies(const P256KeyBlob& key, const Sha256::Digest& digest,
                             std::span<const std::byte> signature) {
    if (signature.size() != P256_SIGNATURE_SIZE) return false;
    BCRYPT_KEY_HANDLE imported = nullptr;
    auto* blob = const_cast<PUCHAR>(key.data());
    if (!BCRYPT_SUCCESS(ecdsa().import_key(ecdsa().p256, nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob,
                                           static_cast<ULONG>(key.size()), 0)))
        return false;
    windows::UniqueHandle<KeyHandleTraits> owned(imported);
    auto* hash = const_cast<PUCHAR>(digest.data());
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(signature.data()));
    return BCRYPT_SUCCESS(ecdsa().verify(owned.get(), nullptr, hash, static_cast<ULONG>(digest.size()), bytes,
                                         static_cast<ULONG>(signature.size()), 0));
}

}  // namespace quarnet
