#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/progress_dialog.h"
#include "platform/shell.h"

namespace quarnet {

// The shell progress window of one run. Apart from opening, nothing here fails:
// a line that cannot be set is simply not shown.
class ProgressWindow {
public:
    // CoCreateInstance, SetTitle("Pelorin setup"), StartProgressDialog; nothing
    // when any of them fails (the object, if made, released).
    static std::unique_ptr<ProgressWindow> open(Shell& shell);

    explicit ProgressWindow(std::unique_ptr<ProgressDialog> dialog);
    ~ProgressWindow();  // StopProgressDialog, then Release
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void set_line(std::uint32_t line, std::string_view text);
    void set_progress(std::uint64_t completed, std::uint64_t total);  // a total of 0 is passed as 1
    void reset_timer();
    bool cancel_requested();

private:
    std::unique_ptr<ProgressDialog> dialog_;
};

inline constexpr std::string_view WINDOW_TITLE = "Pelorin setup";

// Rounding to nearest with ties to even, the one rule for every size and speed
// shown: `whole` and one more when what lies beyond it is more than a half, or
// exactly a half and `whole` is odd. `beyond_against_half` is below, at or above
// zero as what lies beyond compares with a half.
constexpr std::uint64_t round_half_to_even(std::uint64_t whole, int beyond_against_half) {
    return whole + ((beyond_against_half > 0 || (beyond_against_half == 0 && whole % 2 == 1)) ? 1 : 0);
}

// Whole decimal megabytes, ties to even: 2,500,000 bytes give "2 MB".
std::string size_text(std::uint64_t bytes);

}  // namespace quarnet
