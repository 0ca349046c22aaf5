#include "doubles/fake_shell.h"

#include "platform/text.h"

namespace quarnet {

std::string line(const ProgressLog& log, std::uint32_t n) {
    for (auto it = log.lines.rbegin(); it != log.lines.rend(); ++it) {
        if (it->first == n) return it->second;
    }
    return "";
}

FakeProgressDialog::~FakeProgressDialog() {
    log_.released = true;
    record("release");
}

void FakeProgressDialog::record(std::string event) {
    if (log_.journal != nullptr) log_.journal->push_back("dialog: " + event);
    log_.events.push_back(std::move(event));
}

bool FakeProgressDialog::set_title(const std::u16string& title) {
    if (fail_set_title) return false;
    log_.title = to_utf8_lossy(title);
    return true;
}

bool FakeProgressDialog::start() {
    if (fail_start) return false;
    log_.started = true;
    return true;
}

void FakeProgressDialog::set_line(std::uint32_t line, const std::u16string& text) {
    std::string utf8 = to_utf8_lossy(text);
    record("set_line " + std::to_string(line) + " " + utf8);
    log_.lines.emplace_back(line, std::move(utf8));
}

void FakeProgressDialog::set_progress(std::uint64_t completed, std::uint64_t total) {
    record("set_progress " + std::to_string(completed) + " " + std::to_string(total));
    log_.progress.emplace_back(completed, total);
}

void FakeProgressDialog::reset_timer() {
    ++log_.timer_resets;
    record("reset_timer");
}

bool FakeProgressDialog::has_user_cancelled() {
    ++log_.cancel_polls;
    record("cancel?");
    return log_.cancel ? log_.cancel() : false;
}

void FakeProgressDialog::stop() {
    log_.stopped = true;
    record("stop");
}

void FakeShell::record(std::string event) {
    if (journal != nullptr) journal->push_back(std::move(event));
}

void FakeShell::initialize_com() {
    ++com_inits;
    record("com_init");
}

std::unique_ptr<ProgressDialog> FakeShell::create_progress_dialog() {
    record("create_dialog");
    if (fail_create) return nullptr;
    ProgressLog& log = dialogs.emplace_back();
    log.cancel = cancel;
    log.journal = journal;
    auto dialog = std::make_unique<FakeProgressDialog>(log);
    dialog->fail_set_title = fail_set_title;
    dialog->fail_start = fail_start;
    return dialog;
}

OsResult<void> FakeShell::shell_execute_open(const std::u16string& path) {
    launched.push_back(to_utf8_lossy(path));
    record("launch " + launched.back());
    if (during_launch) during_launch(launched.back());
    if (launch_errors.empty()) return {};
    const std::uint32_t error = launch_errors.front();
    launch_errors.pop_front();
    if (error == 0) return {};
    return std::unexpected(OsError::from_code(error));
}

int FakeShell::message_box(const std::u16string& text, const std::u16string& caption, std::uint32_t type) {
    message_boxes.push_back({to_utf8_lossy(text), to_utf8_lossy(caption), type});
    record("message_box");
    if (answers.empty()) return 2;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace quarnet
