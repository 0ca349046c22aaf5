#pragma once

#include <cstdint>

#include "base/result.h"
#include "transfer/transfer.h"

namespace quarnet {

inline constexpr std::uint32_t RETRY_LIMIT = 8;

constexpr std::uint32_t backoff_seconds(std::uint32_t n) { return 2 * (n < 5 ? n : 5); }

// After a failed attempt: waits and goes on, or gives the failure the transfer
// ends with.
[[nodiscard]] Result<void> retry_failed_attempt(TransferContext& context, TransferState& state, Failure failed);

// After a body that ended early or a restart from zero: goes on at once, or
// fails with "The connection kept dropping." at the limit.
[[nodiscard]] Result<void> count_incomplete_attempt(TransferState& state);

}  // namespace quarnet
