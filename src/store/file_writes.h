#pragma once

#include <cstddef>
#include <span>

#include "platform/file_system.h"

namespace quarnet {

// Writes every byte: an interrupted write is repeated, a partial one goes on
// with the rest, and a write that accepts nothing fails with OsError::write_zero().
OsResult<void> write_all(File& file, std::span<const std::byte> bytes);

}  // namespace quarnet
