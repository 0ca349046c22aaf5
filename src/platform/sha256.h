#pragma once
// SHA-256 from the platform's crypto library: BCrypt on Windows, OpenSSL's
// libcrypto on the host build. A plain value: copying it copies the running state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quarnet {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();  // the initial state, nothing absorbed
    Sha256(const Sha256& other);
    Sha256& operator=(const Sha256& other);
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    ~Sha256();

    void update(std::span<const std::byte> bytes);
    // Finishes the state; it is not to be used afterwards.
    Digest finish();

    struct State;  // defined by the backend

private:
    std::unique_ptr<State> state_;
};

}  // namespace quarnet
