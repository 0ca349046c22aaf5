#pragma once

#include <chrono>
#include <cstdint>

namespace quarnet {

// A monotonic clock and the waits the program makes: between transfer attempts,
// and the short ones while another program holds a file of ours.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::nanoseconds now() = 0;
    // Blocks for `seconds`; cannot fail.
    virtual void wait_seconds(std::uint32_t seconds) = 0;
    // Blocks for `milliseconds`; cannot fail.
    virtual void wait_milliseconds(std::uint32_t milliseconds) = 0;
};

}  // namespace quarnet
