// The computer's UTC date and time: GetSystemTimeAsFileTime, in 100 ns units since 1601.

#include <cstdint>
#include <memory>

#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

constexpr std::int64_t TICKS_PER_SECOND = 10'000'000;
constexpr std::int64_t SECONDS_1601_TO_1970 = 11'644'473'600;

class WindowsWallClock : public WallClock {
public:
    std::int64_t utc_seconds() override {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
        return static_cast<std::int64_t>(ticks / TICKS_PER_SECOND) - SECONDS_1601_TO_1970;
    }
};

}  // namespace

std::unique_ptr<WallClock> make_wall_clock() { return std::make_unique<WindowsWallClock>(); }

}  // namespace quarnet::windows
