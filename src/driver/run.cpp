#include <memory>
#include <utility>

#include "driver/setup.h"
#include "list/installer_list.h"
#include "platform/text.h"
#include "store/download_files.h"
#include "store/earlier_download.h"
#include "store/work_folder.h"
#include "transfer/final_check.h"
#include "transfer/transfer.h"

namespace quarnet {
namespace {

// One run: a new session and a new window around one pass. Both are put away
// before the outcome is acted on, so nothing of the run is on screen then.
SetupOutcome run_once(Platform& platform, const SetupPass& pass) {
    HttpHandle handle = platform.http.open_session(to_utf16(USER_AGENT));
    if (handle == nullptr) return FailureMessage("Windows could not open an internet connection.");
    WebSession session(platform.http, platform.error_texts, handle);
    platform.http.set_timeouts(handle, SESSION_TIMEOUTS);

    // A window that fails to open has released its object already; the
    // session closes on the way out, after it.
    std::unique_ptr<ProgressWindow> window = ProgressWindow::open(platform.shell);
    if (!window) return FailureMessage("Windows could not show the progress window.");

    SetupOutcome outcome = pass(session, *window, platform);
    window.reset();  // stop, then release, then (on return) the session closes
    return outcome;
}

}  // namespace

void run_setup(Platform& platform) { run_setup(platform, run_setup_pass); }

void run_setup(Platform& platform, const SetupPass& pass) {
    platform.shell.initialize_com();
    for (;;) {
        SetupOutcome outcome = run_once(platform, pass);
        if (std::holds_alternative<SetupCancelled>(outcome)) return;
        if (auto* ready = std::get_if<Ready>(&outcome)) {
            if (launch_installer(ready->installer_path, platform.shell)) return;
            outcome = FailureMessage("Windows did not start the installer.");
        }
        if (!show_failure_prompt(std::get<FailureMessage>(outcome), platform)) return;
    }
}

SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform) {
    FileSystem& files = platform.files;
    ErrorTexts& texts = platform.error_texts;

    // A: the installer list.
    Result<FetchedList> fetched = fetch_installer_list(session, window, platform.environment);
    if (!fetched) return std::move(fetched.error());
    const InstallerList& list = fetched->list;

    // B: the work folder, its two download files, and nothing else in it.
    Result<std::string> folder = open_work_folder(files, texts);
    if (!folder) return std::move(folder.error());
    const DownloadPaths paths = download_paths(*folder, list.file);
    sweep_work_folder(files, *folder, paths);

    // C: an earlier complete copy, or the part of one to resume from.
    EarlierDownload earlier = check_earlier_download(list, paths, window, files, texts);
    if (auto* reuse = std::get_if<Reuse>(&earlier)) return Ready{std::move(reuse->installer_path)};
    if (auto* failed = std::get_if<FailureMessage>(&earlier)) return std::move(*failed);

    // D: the transfer.
    TransferContext context{list, fetched->base, paths, session, window, files, texts, platform.clock};
    TransferResult transferred = run_transfer(context, std::move(std::get<ResumePoint>(earlier)));
    if (std::holds_alternative<Cancelled>(transferred)) return SetupCancelled{};
    if (auto* failed = std::get_if<FailureMessage>(&transferred)) return std::move(*failed);

    // E: the final check and the installer's own name.
    Result<std::string> installer =
        final_check(std::move(std::get<TransferComplete>(transferred)), list, paths, window, files, texts);
    if (!installer) return std::move(installer.error());
    return Ready{std::move(*installer)};
}

}  // namespace quarnet
