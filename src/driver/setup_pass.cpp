#include <string>
#include <utility>

#include "driver/setup.h"
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
    Result<HeldInstaller> checked =
        check_installer_publisher(std::move(installer), platform.publisher, *folder.held, name, platform.error_texts);
    if (!checked) return std::move(checked.error());
    return Ready{std::move(*checked)};
}

}  // namespace

void run_setup(Platform& platform) { run_setup(platform, run_setup_pass); }

SetupOutcome run_setup_pass(WebSession& session, ProgressWindow& window, Platform& platform,
                            std::optional<WorkFolder>& work_folder) {
    ErrorTexts& texts = platform.error_texts;

    // The installer list.
    Result<FetchedList> fetched = fetch_installer_list(session, window, platform.environment, platform.list_trust);
    if (!fetched) return std::move(fetched.error());
    const Release& release = fetched->release;

    // The work folder, held from here on, its two download files, and nothing else in it.
    Result<WorkFolder> opened = open_work_folder(platform.files, texts);
    if (!opened) return std::move(opened.error());
    const WorkFolder& folder = work_folder.emplace(std::move(*opened));
    const DownloadPaths paths = download_paths(release.file);
    sweep_work_folder(*folder.held, paths);

    // An earlier complete copy, or the part of one to resume from.
    window.set_line(1, downloading_headline(release));
    EarlierDownload earlier = check_earlier_download(release, folder, paths, window, texts, platform.clock);
    if (auto* reuse = std::get_if<Reuse>(&earlier)) {
        return ready_if_published(std::move(reuse->installer), platform, folder, paths.installer);
    }
    if (std::holds_alternative<Cancelled>(earlier)) return SetupCancelled{};
    if (auto* failed = std::get_if<FailureMessage>(&earlier)) return std::move(*failed);
    ResumePoint& resume = std::get<ResumePoint>(earlier);

    // The transfer, when the disk has room for it.
    if (auto short_of_room = check_room(*folder.held, release, resume, texts)) return std::move(*short_of_room);
    TransferContext context{release, fetched->base, session, window, texts, platform.clock};
    TransferResult transferred = run_transfer(context, std::move(resume));
    if (std::holds_alternative<Cancelled>(transferred)) return SetupCancelled{};
    if (auto* failed = std::get_if<FailureMessage>(&transferred)) return std::move(*failed);

    // The final check and the installer's own name.
    CheckedInstaller installer = final_check(std::move(std::get<TransferComplete>(transferred)), release, folder, paths,
                                             window, texts, platform.clock);
    if (std::holds_alternative<Cancelled>(installer)) return SetupCancelled{};
    if (auto* failed = std::get_if<FailureMessage>(&installer)) return std::move(*failed);
    return ready_if_published(std::move(std::get<HeldInstaller>(installer)), platform, folder, paths.installer);
}

}  // namespace quarnet
