#include "progress/progress_window.h"

#include <cmath>
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
    // Rounded here rather than by a formatting routine: the same in both builds,
    // and without the floating-point printer, which would triple the exe's size.
    const double megabytes = static_cast<double>(bytes) / 1'000'000.0;
    const double whole = std::floor(megabytes);
    const double fraction = megabytes - whole;  // exact for a double
    auto count = static_cast<std::uint64_t>(whole);
    if (fraction > 0.5 || (fraction == 0.5 && count % 2 == 1)) ++count;
    return std::to_string(count) + " MB";
}

}  // namespace quarnet
