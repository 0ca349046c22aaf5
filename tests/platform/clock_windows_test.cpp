// The Windows clock under Wine: its time only moves forward, and a wait lasts
// at least what was asked (no upper bound: a loaded machine may be slow).

#include <gtest/gtest.h>

#include <chrono>

#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet {
namespace {

using namespace std::chrono_literals;

TEST(WindowsClock, NeverGoesBackwards) {
    auto clock = windows::make_clock();
    auto previous = clock->now();
    for (int i = 0; i < 10'000; ++i) {
        auto current = clock->now();
        ASSERT_GE(current, previous);
        previous = current;
    }
}

TEST(WindowsClock, WaitLastsAtLeastTheSecondAsked) {
    auto clock = windows::make_clock();
    const ULONGLONG ticks_before = ::GetTickCount64();
    const auto before = clock->now();
    clock->wait_seconds(1);
    const auto waited = clock->now() - before;
    const ULONGLONG ticks_waited = ::GetTickCount64() - ticks_before;

    EXPECT_GE(waited, 1s);
    // A second, independent clock agrees (its resolution is a tick of ~16 ms).
    EXPECT_GE(ticks_waited + 16, 1000u);
}

TEST(WindowsClock, ZeroWaitReturns) {
    auto clock = windows::make_clock();
    const auto before = clock->now();
    clock->wait_seconds(0);
    EXPECT_GE(clock->now(), before);
}

}  // namespace
}  // namespace quarnet
