// SHA-256 for the host build: OpenSSL's EVP interface.

#include <openssl/evp.h>

#include <cstdlib>

#include "platform/sha256.h"

namespace quarnet {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    State() {
        if (context == nullptr) std::abort();  // out of memory ends the process
    }
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) std::abort();
}

Sha256::Sha256(const Sha256& other) : state_(std::make_unique<State>()) {
    if (EVP_MD_CTX_copy_ex(state_->context, other.state_->context) != 1) std::abort();
}

Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;
Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::byte> bytes) {
    if (!bytes.empty() && EVP_DigestUpdate(state_->context, bytes.data(), bytes.size()) != 1) std::abort();
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 || length != digest.size()) std::abort();
    return digest;
}

}  // namespace quarnet
