#include <memory>
#include <utility>

#include "driver/setup.h"
#include "platform/text.h"

namespace quarnet {
namespace {

// One run: a new session and a new window around one pass. Both are put away
// before the outcome is acted on, so nothing of the run is on screen then.
SetupOutcome run_once(Platform& platform, const SetupPass& pass, std::optional<WorkFolder>& work_folder) {
    WebSession session(platform.http, platform.error_texts, to_utf16(USER_AGENT), SESSION_TIMEOUTS);
    if (!session.opened()) return FailureMessage("Windows could not open an internet connection.");

    // A window that fails to open has released its object already; the
    // session closes on the way out, after it.
    std::unique_ptr<ProgressWindow> window = ProgressWindow::open(platform.shell);
    if (!window) return FailureMessage("Windows could not show the progress window.");

    SetupOutcome outcome = pass(session, *window, platform, work_folder);
    window.reset();  // stop, then release, then (on return) the session closes
    return outcome;
}

}  // namespace

void run_setup(Platform& platform, const SetupPass& pass) {
    // One copy per session: a second one shows the first and ends without a word.
    // When no claim can be made at all (the name taken by another kind of object,
    // or shut to us by another's DACL), the program goes on without it rather than
    // never starting: the held folder and partial file keep two copies apart.
    if (platform.instance.claim() == InstanceClaim::HeldElsewhere) {
        platform.instance.bring_forward(to_utf16(WINDOW_TITLE));
        return;
    }
    platform.shell.initialize_com();
    for (;;) {
        // Held until the outcome has been acted on: the launch, or last-error.txt.
        std::optional<WorkFolder> work_folder;
        SetupOutcome outcome = run_once(platform, pass, work_folder);
        if (std::holds_alternative<SetupCancelled>(outcome)) return;
        if (auto* ready = std::get_if<Ready>(&outcome)) {
            // The installer stays held while Windows opens it, so nothing replaces it meanwhile.
            if (launch_installer(*ready->installer.file, platform.shell, platform.clock)) return;
            outcome = FailureMessage("Windows did not start the installer.");
        }
        if (!show_failure_prompt(std::get<FailureMessage>(outcome), platform, std::move(work_folder))) return;
    }
}

}  // namespace quarnet
