#include "transfer/retry.h"

#include <string>
#include <utility>

namespace quarnet {

std::optional<FailureMessage> retry_failed_attempt(TransferContext& context, TransferState& state,
                                                   FailureMessage message) {
    const std::uint32_t n = ++state.attempts;
    if (n >= RETRY_LIMIT) return message;
    context.window.set_line(2, "Connection lost \u2013 trying again (" + std::to_string(n) + " of " +
                                   std::to_string(RETRY_LIMIT) + ")\u2026");
    context.clock.wait_seconds(backoff_seconds(n));
    return std::nullopt;
}

std::optional<FailureMessage> count_incomplete_attempt(TransferState& state) {
    const std::uint32_t n = ++state.attempts;
    if (n >= RETRY_LIMIT) return FailureMessage("The connection kept dropping.");
    return std::nullopt;
}

}  // namespace quarnet
