// The monotonic clock (QueryPerformanceCounter) and the waits: one
// high-resolution waitable timer each, with Sleep when the timer fails.

#include <cstdint>
#include <memory>

#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {

namespace {

// Older mingw-w64 headers lack it; the value is fixed by the system.
constexpr DWORD TIMER_HIGH_RESOLUTION = 0x00000002;
constexpr std::int64_t NANOSECONDS_PER_SECOND = 1'000'000'000;

class WindowsClock : public Clock {
public:
    WindowsClock() {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);  // never fails on XP and later
        frequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
    }

    std::chrono::nanoseconds now() override {
        LARGE_INTEGER counter;
        ::QueryPerformanceCounter(&counter);
        // Whole seconds and the rest apart, so the product cannot overflow.
        const std::int64_t ticks = counter.QuadPart;
        const std::int64_t seconds = ticks / frequency_;
        const std::int64_t rest = ticks % frequency_;
        return std::chrono::nanoseconds(seconds * NANOSECONDS_PER_SECOND + rest * NANOSECONDS_PER_SECOND / frequency_);
    }

    void wait_seconds(std::uint32_t seconds) override { wait_milliseconds(seconds * 1000); }

    void wait_milliseconds(std::uint32_t milliseconds) override {
        if (wait_on_timer(milliseconds)) return;
        const auto before = now();
        ::Sleep(milliseconds);
        // Sleep may come back a tick early; the caller was promised the full time.
        if (now() - before < std::chrono::milliseconds(milliseconds)) ::Sleep(1);
    }

private:
    static bool wait_on_timer(std::uint32_t milliseconds) {
        UniqueKernelHandle timer(::CreateWaitableTimerExW(nullptr, nullptr, TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
        if (!timer.valid()) return false;
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10'000;  // relative, in 100 ns units
        if (!::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE)) return false;
        return ::WaitForSingleObject(timer.get(), INFINITE) != WAIT_FAILED;
    }

    std::int64_t frequency_ = 1;
};

}  // namespace

std::unique_ptr<Clock> make_clock() { return std::make_unique<WindowsClock>(); }

}  // namespace quarnet::windows
