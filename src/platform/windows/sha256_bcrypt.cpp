// SHA-256 for the Windows build: BCrypt (bcrypt_calls.h).

#include "platform/sha256.h"
#include "platform/windows/bcrypt_calls.h"

namespace quarnet {
namespace {

BCRYPT_ALG_HANDLE sha256_provider() {
    static const BCRYPT_ALG_HANDLE provider = windows::open_bcrypt_provider(BCRYPT_SHA256_ALGORITHM);
    return provider;
}

}  // namespace

// The hash object's memory is BCrypt's own (no object buffer is passed).
struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash != nullptr) BCRYPT(BCryptDestroyHash)(hash);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(BCRYPT(BCryptCreateHash)(sha256_provider(), &state_->hash, nullptr, 0, nullptr, 0, 0)))
        std::abort();
}

Sha256::Sha256(const Sha256& other) : state_(std::make_unique<State>()) {
    if (!BCRYPT_SUCCESS(BCRYPT(BCryptDuplicateHash)(other.state_->hash, &state_->hash, nullptr, 0, 0))) std::abort();
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
        if (!BCRYPT_SUCCESS(BCRYPT(BCryptHashData)(state_->hash, data, static_cast<ULONG>(piece.size()), 0)))
            std::abort();
        bytes = bytes.subspan(piece.size());
    }
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    if (!BCRYPT_SUCCESS(BCRYPT(BCryptFinishHash)(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        std::abort();
    return digest;
}

}  // namespace quarnet
