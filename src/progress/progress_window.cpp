#include "progress/progress_window.h"

#include <utility>

#include "platform/text.h"

namespace quarnet {

std::unique_ptr<ProgressWindow> ProgressWindow::open(Shell& shell) {
    std::unique_ptr<ProgressDialog> dialog = shell.create_progress_dialog();
    if (!dialog) return nullptr;
    // Returning early drops the object, which releases it.
    if (!dialog->set_title(to_utf16(WINDOW_TITLE))) return nullptr;
    if (!dialog->start()) return nullptr;
    return std::make_unique<ProgressWindow>(std::move(dialog));
}

ProgressWindow::ProgressWindow(std::unique_ptr<ProgressDialog> dialog) : dialog_(std::move(dialog)) {}

ProgressWindow::~ProgressWindow() {
    if (!dialog_) return;
    dialog_->stop();
    dialog_.reset();
}

void ProgressWindow::set_line(std::uint32_t line, std::string_view text) { dialog_->set_line(line, to_utf16(text)); }

void ProgressWindow::set_progress(std::uint64_t completed, std::uint64_t total) {
    dialog_->set_progress(completed, total == 0 ? 1 : total);
}

void ProgressWindow::reset_timer() { dialog_->reset_timer(); }

bool ProgressWindow::cancel_requested() { return dialog_->has_user_cancelled(); }

std::string size_text(std::uint64_t bytes) {
    // In whole numbers, so exact at every size, and without the floating-point
    // printer, which would triple the exe's size.
    constexpr std::uint64_t MEGABYTE = 1'000'000;
    const std::uint64_t twice_rest = 2 * (bytes % MEGABYTE);
    const int against_half = twice_rest > MEGABYTE ? 1 : twice_rest == MEGABYTE ? 0 : -1;
    return std::to_string(round_half_to_even(bytes / MEGABYTE, against_half)) + " MB";
}

}  // namespace quarnet
