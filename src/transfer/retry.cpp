#include "transfer/retry.h"

#include <string>
#include <utility>

namespace quarnet {

Result<void> retry_failed_attempt(TransferContext& context, TransferState& state, Failure failed) {
    const std::uint32_t n = ++state.attempts;
    if (n >= RETRY_LIMIT) return std::unexpected(std::move(failed));
    context.window.set_line(2, "Connection lost \u2013 trying again (" + std::to_string(n) + " of " +
                                   std::to_string(RETRY_LIMIT) + ")\u2026");
    context.clock.wait_seconds(backoff_seconds(n));
    return {};
}

Result<void> count_incomplete_attempt(TransferState& state) {
    const std::uint32_t n = ++state.attempts;
    if (n >= RETRY_LIMIT) return failure("The connection kept dropping.");
    return {};
}

}  // namespace quarnet
