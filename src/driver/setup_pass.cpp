#include "driver/setup_pass.h"

#include <string>
#include <utility>
#include <variant>

#include "list/installer_list.h"
#include "progress/progress_window.h"
#include "store/download_files.h"
#include "store/earlier_download.h"
#include "store/publisher_check.h"
#include "store/room_check.h"
#include "store/work_folder.h"
#include "transfer/final_check.h"
#include "transfer/transfer.h"

namespace quarnet {

namespace {

// Line 1 from the earlier-download check on, whatever the pass then does.
std::string downloading_headline(const Release& release) {
    return "Downloading Pelorin " + release.version + " (" + size_text(release.size) + ")";
}

// The checked installer, still held, once its signer is the publisher the build
// names (when it names one).
SetupOutcome ready_if_published(HeldInstaller installer, Platform& platform, const WorkFolder& folder,
                                const std::string& name) {
    return check_installer_publisher(std::move(installer), platform.publisher, *folder.held, name,
                                     platform.error_texts);
}

}  // namespace

void run_setup(Platform& platform) { run_setup(platform, run_setup_pass); }

SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform,
                            std::optional<WorkFolder>& work_folder) {
    ErrorTexts& texts = platform.error_texts;

    // The installer list.
    const FetchedList fetched = TRY(fetch_installer_list(session, window, platform.environment, platform.list_trust));
    const Release& release = fetched.release;

    // The work folder, held from here on, its two download files, and nothing else in it.
    const WorkFolder& folder = work_folder.emplace(TRY(open_work_folder(platform.files, texts)));
    const DownloadPaths paths = download_paths(release.file);
    sweep_work_folder(*folder.held, paths);

    // An earlier complete copy, or the part of one to resume from.
    window.set_line(1, downloading_headline(release));
    EarlierDownload earlier = TRY(check_earlier_download(release, folder, paths, window, texts, platform.clock));
    if (auto* copy = std::get_if<HeldInstaller>(&earlier)) {
        return ready_if_published(std::move(*copy), platform, folder, paths.installer);
    }
    PartialDownload& partial = std::get<PartialDownload>(earlier);

    // The transfer, when the disk has room for it.
    TRY(check_room(*folder.held, release, partial, texts));
    TransferContext context{release, fetched.base, session, window, texts, platform.clock};
    PartialDownload complete = TRY(run_transfer(context, std::move(partial)));

    // The final check and the installer's own name.
    HeldInstaller installer =
        TRY(final_check(std::move(complete), release, folder, paths, window, texts, platform.clock));
    return ready_if_published(std::move(installer), platform, folder, paths.installer);
}

}  // namespace quarnet
