#include "driver/failure_prompt.h"

#include <span>

#include "base/product.h"
#include "platform/text.h"
#include "progress/progress_window.h"
#include "store/download_files.h"
#include "store/file_writes.h"
#include "store/work_folder.h"

namespace quarnet {
namespace {

// Nothing of this is reported: a missing or short file must not hide the message itself.
void write_last_error(const FailureMessage& message, Platform& platform, std::optional<WorkFolder>& work_folder) {
    if (!work_folder) {
        Result<WorkFolder> opened = open_work_folder(platform.files, platform.error_texts);
        if (!opened) return;
        work_folder.emplace(std::move(*opened));
    }
    const std::string name(LAST_ERROR_FILE);
    auto file = open_taking_back(*work_folder->held, name, [&] { return work_folder->held->open_emptied(name); });
    if (!file) return;
    ignore_failure(write_all(**file, std::as_bytes(std::span(message.text()))));
}

std::string prompt_text(const FailureMessage& message) {
    std::string text = message.text();
    text +=
        "\n\nPress Retry to try again (the download continues where it stopped).\n\n"
        "On a slow or unsteady connection you can also get the full installer from ";
    text += PRODUCT_WEB_HOST;
    text += "/setup-guide/";
    return text;
}

}  // namespace

bool show_failure_prompt(const FailureMessage& message, Platform& platform, std::optional<WorkFolder> work_folder) {
    write_last_error(message, platform, work_folder);
    work_folder.reset();  // not held while the question waits
    // Presence alone counts: empty and non-Unicode values silence the prompt too.
    if (platform.environment.read(NO_DIALOG_VARIABLE).state != EnvironmentValue::State::Unset) return false;
    int answer =
        platform.shell.message_box(to_utf16(prompt_text(message)), to_utf16(WINDOW_TITLE), FAILURE_PROMPT_TYPE);
    return answer == IDRETRY_ANSWER;
}

}  // namespace quarnet
