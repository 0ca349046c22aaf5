#pragma once

#include <chrono>
#include <cstdint>

namespace quarnet {

// A monotonic clock and the one wait the program makes (between transfer attempts).
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::nanoseconds now() = 0;
    // Blocks for `seconds`; cannot fail.
    virtual void wait_seconds(std::uint32_t seconds) = 0;
};

}  // namespace quarnet
