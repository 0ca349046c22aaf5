#pragma once

#include <cstdint>

namespace quarnet {

// The computer's date and time in UTC, as the user set it (unlike the monotonic Clock).
class WallClock {
public:
    virtual ~WallClock() = default;
    // Whole seconds since 1970-01-01T00:00:00Z.
    virtual std::int64_t utc_seconds() = 0;
};

}  // namespace quarnet
