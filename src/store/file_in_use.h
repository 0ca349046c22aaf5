#pragma once
// Another program, a virus scanner most often, may hold a file of ours for a
// moment just after it was written, or just before we read it. A call on one of
// our own files that Windows refuses with access denied (5), a sharing violation
// (32) or a lock violation (33) is tried again, after short waits that grow from
// FIRST_IN_USE_WAIT, for up to IN_USE_LIMIT in all; then its failure stands.

#include <chrono>
#include <string>

#include "base/os_error.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "progress/progress_window.h"

namespace quarnet {

inline constexpr std::chrono::milliseconds IN_USE_LIMIT{10'000};
inline constexpr std::chrono::milliseconds FIRST_IN_USE_WAIT{50};
inline constexpr std::chrono::milliseconds LONGEST_IN_USE_WAIT{1'000};

// The retries of calls on files in use, on the program's clock. The window, when
// there is one, is asked for Cancel before each wait.
class InUseWait {
public:
    InUseWait(Clock& clock, ProgressWindow* window) : clock_(clock), window_(window) {}

    // Calls `call` (which gives an OsResult) until it succeeds, fails otherwise,
    // the time is up or the user cancels; its last outcome. Access denied counts
    // only while the entry `name` of `folder` (when given) is no folder or link:
    // those are not ours, and waiting does not change them.
    template <class Call>
    auto retry(Call&& call, Folder* folder = nullptr, const std::string& name = {}) {
        begin();
        for (;;) {
            auto outcome = call();
            if (outcome || !in_use(outcome.error(), folder, name) || !wait()) return outcome;
        }
    }

    // The last retry ended because the user cancelled.
    bool cancelled() const { return cancelled_; }

private:
    void begin();
    bool in_use(const OsError& error, Folder* folder, const std::string& name);
    // One more wait; false when the time is up or the user cancelled.
    bool wait();

    Clock& clock_;
    ProgressWindow* window_;
    std::chrono::nanoseconds began_{};
    std::chrono::milliseconds next_wait_{};
    bool cancelled_ = false;
};

}  // namespace quarnet
