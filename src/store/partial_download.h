#pragma once

#include <cstdint>
#include <memory>

#include "platform/file_system.h"
#include "store/digest.h"

namespace quarnet {

// The partial file, held from the earlier-download check to the final check,
// and the bytes at its start that are counted: the earlier download takes them
// over, the transfer appends to them, the final check judges them.
struct PartialDownload {
    std::unique_ptr<OwnFile> file;  // read and write, shared for reading only; positioned at `offset`
    std::uint64_t offset = 0;
    DigestState digest{};  // over exactly the first `offset` bytes
};

}  // namespace quarnet
