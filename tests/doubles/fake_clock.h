#pragma once
// A virtual monotonic clock: nothing here ever sleeps. now() reads virtual time,
// wait_seconds() moves it on and remembers the wait, advance() moves it for a test.

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/clock.h"

namespace quarnet {

class FakeClock : public Clock {
public:
    std::chrono::nanoseconds now() override {
        auto current = now_;
        now_ += step_per_read;
        return current;
    }

    void wait_seconds(std::uint32_t seconds) override {
        waits.push_back(seconds);
        now_ += std::chrono::seconds(seconds);
        if (on_wait) on_wait(seconds);
    }

    void wait_milliseconds(std::uint32_t ms) override { now_ += std::chrono::milliseconds(waits_ms.emplace_back(ms)); }

    void advance(std::chrono::nanoseconds duration) { now_ += duration; }
    std::chrono::nanoseconds current() const { return now_; }

    // Every wait asked for, in seconds, in order.
    std::vector<std::uint32_t> waits;
    std::vector<std::uint32_t> waits_ms;  // the short ones
    // Called after each wait has moved the time on (e.g. to press Cancel meanwhile).
    std::function<void(std::uint32_t)> on_wait;
    // Added after each now(), so a loop that only reads the clock still sees time pass.
    std::chrono::nanoseconds step_per_read{0};

private:
    // Not zero, so a time point "one second before the start" stays positive.
    std::chrono::nanoseconds now_{std::chrono::seconds(1000)};
};

}  // namespace quarnet
