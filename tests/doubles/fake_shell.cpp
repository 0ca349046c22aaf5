#include "doubles/fake_shell.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"

namespace quarnet {

std::vector<std::string> lines_of(const ProgressLog& log, std::uint32_t n) {
    const std::string prefix = "set_line " + std::to_string(n) + " ";
    std::vector<std::string> texts;
    for (const auto& event : log.events) {
        if (event.starts_with(prefix)) texts.push_back(event.substr(prefix.size()));
    }
    return texts;
}

std::string line(const ProgressLog& log, std::uint32_t n) {
    const auto texts = lines_of(log, n);
    return texts.empty() ? "" : texts.back();
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> progress_of(const ProgressLog& log) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    for (const auto& event : log.events) {
        unsigned long long completed = 0, total = 0;
        if (std::sscanf(event.c_str(), "set_progress %llu %llu", &completed, &total) == 2)
            progress.emplace_back(completed, total);
    }
    return progress;
}

int count_of(const ProgressLog& log, std::string_view prefix) {
    return static_cast<int>(std::count_if(log.events.begin(), log.events.end(),
                                          [&](const std::string& event) { return event.starts_with(prefix); }));
}

FakeProgressDialog::~FakeProgressDialog() { record("release"); }

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
    record("set_line " + std::to_string(line) + " " + to_utf8_lossy(text));
}

void FakeProgressDialog::set_progress(std::uint64_t completed, std::uint64_t total) {
    record("set_progress " + std::to_string(completed) + " " + std::to_string(total));
}

void FakeProgressDialog::reset_timer() { record("reset_timer"); }

bool FakeProgressDialog::has_user_cancelled() {
    record("cancel?");
    return log_.cancel ? log_.cancel() : false;
}

void FakeProgressDialog::stop() { record("stop"); }

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
