#pragma once
// One shell progress dialog object (IProgressDialog); released when destroyed.

#include <cstdint>
#include <string>

namespace quarnet {

class ProgressDialog {
public:
    virtual ~ProgressDialog() = default;
    // SetTitle; true on a succeeding HRESULT.
    virtual bool set_title(const std::u16string& title) = 0;
    // StartProgressDialog(no parent, no modeless object, PROGDLG_AUTOTIME | PROGDLG_NOMINIMIZE, NULL).
    virtual bool start() = 0;
    // SetLine(line, text, fCompactPath FALSE, NULL); result ignored.
    virtual void set_line(std::uint32_t line, const std::u16string& text) = 0;
    // SetProgress64(completed, total); result ignored.
    virtual void set_progress(std::uint64_t completed, std::uint64_t total) = 0;
    // Timer(PDTIMER_RESET, NULL); result ignored.
    virtual void reset_timer() = 0;
    // HasUserCancelled() != 0.
    virtual bool has_user_cancelled() = 0;
    // StopProgressDialog; result ignored.
    virtual void stop() = 0;
};

}  // namespace quarnet
