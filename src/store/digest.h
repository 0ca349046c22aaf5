#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/file_system.h"
#include "platform/sha256.h"

namespace quarnet {

inline constexpr std::size_t HASH_BUFFER_SIZE = 1'048'576;

// A SHA-256 running state over the bytes absorbed so far; a plain, copyable value.
class DigestState {
public:
    void update(std::span<const std::byte> bytes) { sha_.update(bytes); }

private:
    friend std::string digest_text(DigestState state);
    Sha256 sha_;
};

// 64 lower-case hexadecimal digits. Finishes the state it is given.
std::string digest_text(DigestState state);

struct HashedPrefix {
    DigestState digest;
    std::uint64_t length = 0;  // the bytes the digest covers
};

// The digest of the next `limit` bytes of an open file, read on from its
// position, and how many bytes it covers: fewer than `limit` when the file ends first.
OsResult<HashedPrefix> hash_open_file(File& file, std::uint64_t limit);

}  // namespace quarnet
