#include "driver/run.h"

#include <memory>
#include <utility>

#include "driver/failure_prompt.h"
#include "driver/launch.h"
#include "platform/text.h"

namespace quarnet {
namespace {

// One run: a new session and a new window around one pass. Both are put away
// before the outcome is acted on, so nothing of the run is on screen then.
SetupOutcome run_once(Platform& platform, const SetupPass& pass, std::optional<WorkFolder>& work_folder) {
    WebSession session(platform.http, platform.error_texts, to_utf16(USER_AGENT), SESSION_TIMEOUTS);
    if (!session.opened()) return failure("Windows could not open an internet connection.");

    // A window that fails to open has released its object already; the
    // session closes on the way out, after it.
    std::unique_ptr<ProgressWindow> window = ProgressWindow::open(platform.shell);
    if (!window) return failure("Windows could not show the progress window.");

    SetupOutcome outcome = pass(session, *window, platform, work_folder);
    window.reset();  // stop, then release, then (on return) the session closes
    return outcome;
}

// A copy of ours that holds the claim shows its window from its first moments to
// the launch, or its prompt: found within the wait, it is brought forward. Another
// program that merely holds the name shows none, and must not silence this one.
bool first_copy_shown(Platform& platform) {
    const auto began = platform.clock.now();
    for (;;) {
        if (platform.instance.bring_forward(to_utf16(WINDOW_TITLE))) return true;
        if (platform.clock.now() - began >= SECOND_COPY_WAIT) return false;
        platform.clock.wait_milliseconds(WINDOW_LOOK_INTERVAL_MS);
    }
}

}  // namespace

void run_setup(Platform& platform, const SetupPass& pass) {
    // One copy per session: a second one shows the first and ends without a word.
    // When no claim can be made (the name taken by another kind of object, shut
    // to us by another's DACL, or held with no window of ours to show), the program
    // goes on without it rather than never starting: the held folder and partial
    // file keep two copies apart.
    if (platform.instance.claim() == InstanceClaim::HeldElsewhere && first_copy_shown(platform)) return;
    platform.shell.initialize_com();
    for (;;) {
        // Held until the outcome has been acted on: the launch, or last-error.txt.
        std::optional<WorkFolder> work_folder;
        SetupOutcome outcome = run_once(platform, pass, work_folder);
        // The installer stays held while Windows opens it, so nothing replaces it meanwhile.
        if (outcome && launch_installer(*outcome->file, outcome->path, platform.shell, platform.clock)) return;
        const Failure failed =
            outcome ? Failure(FailureMessage("Windows did not start the installer.")) : outcome.error();
        if (failed.is_cancel()) return;
        if (!show_failure_prompt(failed.message(), platform, std::move(work_folder))) return;
    }
}

}  // namespace quarnet
