#pragma once

#include <cstdint>
#include <optional>

#include "base/result.h"
#include "transfer/transfer.h"

namespace quarnet {

inline constexpr std::uint32_t RETRY_LIMIT = 8;

constexpr std::uint32_t backoff_seconds(std::uint32_t n) { return 2 * (n < 5 ? n : 5); }

// After a failed attempt: waits and returns nothing, or gives the message the
// transfer ends with.
[[nodiscard]] std::optional<FailureMessage> retry_failed_attempt(TransferContext& context, TransferState& state,
                                                                 FailureMessage message);

// After a body that ended early or a restart from zero: returns nothing at once,
// or "The connection kept dropping." at the limit.
[[nodiscard]] std::optional<FailureMessage> count_incomplete_attempt(TransferState& state);

}  // namespace quarnet
