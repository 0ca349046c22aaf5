// SHA-256 for the Windows build: BCrypt, loaded from System32. bcrypt.dll ships
// with every supported Windows; when it cannot be had, the process ends, as it
// does when memory runs out.

#include "platform/windows/windows_api.h"
// after windows_api.h
#include <bcrypt.h>

#include <cstdlib>

#include "platform/sha256.h"
#include "platform/windows/system_library.h"

namespace quarnet {
namespace {

struct BcryptCalls {
    decltype(&::BCryptOpenAlgorithmProvider) open_provider;
    decltype(&::BCryptCreateHash) create_hash;
    decltype(&::BCryptHashData) hash_data;
    decltype(&::BCryptDuplicateHash) duplicate_hash;
    decltype(&::BCryptFinishHash) finish_hash;
    decltype(&::BCryptDestroyHash) destroy_hash;
    BCRYPT_ALG_HANDLE sha256 = nullptr;
};

const BcryptCalls& bcrypt() {
    static const BcryptCalls calls = [] {
        BcryptCalls c{
            SYSTEM_FUNCTION(bcrypt_library, BCryptOpenAlgorithmProvider),
            SYSTEM_FUNCTION(bcrypt_library, BCryptCreateHash),
            SYSTEM_FUNCTION(bcrypt_library, BCryptHashData),
            SYSTEM_FUNCTION(bcrypt_library, BCryptDuplicateHash),
            SYSTEM_FUNCTION(bcrypt_library, BCryptFinishHash),
            SYSTEM_FUNCTION(bcrypt_library, BCryptDestroyHash),
        };
        if (!c.open_provider || !c.create_hash || !c.hash_data || !c.duplicate_hash || !c.finish_hash ||
            !c.destroy_hash || !BCRYPT_SUCCESS(c.open_provider(&c.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            std::abort();
        return c;
    }();
    return calls;
}

}  // namespace

// The hash object's memory is BCrypt's own (no object buffer is passed).
struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr) bcrypt().destroy_hash(hash);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(bcrypt().create_hash(bcrypt().sha256, &state_->hash, nullptr, 0, nullptr, 0, 0))) std::abort();
}

Sha256::Sha256(const Sha256& other) : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(bcrypt().duplicate_hash(other.state_->hash, &state_->hash, nullptr, 0, 0))) std::abort();
}

Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) *this = Sha256(other);
    return *this;
}

Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;
Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::byte> bytes) {
    // BCryptHashData takes a 32-bit length.
    constexpr std::size_t PIECE = 1u << 30;
    while (!bytes.empty()) {
        auto piece = bytes.first(bytes.size() < PIECE ? bytes.size() : PIECE);
        auto* data = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(piece.data()));
        if (!BCRYPT_SUCCESS(bcrypt().hash_data(state_->hash, data, static_cast<ULONG>(piece.size()), 0))) std::abort();
        bytes = bytes.subspan(piece.size());
    }
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    if (!BCRYPT_SUCCESS(bcrypt().finish_hash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        std::abort();
    return digest;
}

}  // namespace quarnet
