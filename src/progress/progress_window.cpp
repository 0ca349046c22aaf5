#include "progress/progress_window.h"

#include <charconv>
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
    // to_chars prints the exact value of the double, and an exact half goes to the even neighbour;
    // it is the same code in both builds, unlike the C runtimes' printf.
    char digits[32];
    double megabytes = static_cast<double>(bytes) / 1'000'000.0;
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, megabytes, std::chars_format::fixed, 0);
    std::string text(digits, error == std::errc{} ? end : digits);
    return text + " MB";
}

}  // namespace quarnet
