#pragma once
// COM, the shell and the user interface: the few calls the driver makes itself.

#include <cstdint>
#include <memory>
#include <string>

#include "base/os_error.h"
#include "platform/progress_dialog.h"

namespace quarnet {

inline constexpr std::uint32_t FAILURE_PROMPT_TYPE = 0x10035;  // MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND
inline constexpr int IDRETRY_ANSWER = 4;

class Shell {
public:
    virtual ~Shell() = default;
    // CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); the result is not examined.
    virtual void initialize_com() = 0;
    // CoCreateInstance(CLSID_ProgressDialog, no outer, CLSCTX_INPROC_SERVER, IID_IProgressDialog).
    // Null on a failing result or a null pointer.
    virtual std::unique_ptr<ProgressDialog> create_progress_dialog() = 0;
    // ShellExecuteExW(no owner, "open", path, no parameters, no directory, SW_SHOWNORMAL)
    // with SEE_MASK_FLAG_NO_UI, so the shell shows no error box of its own, and
    // SEE_MASK_NOASYNC, as the program ends right after it. A refusal is the thread's
    // last error: the shell's own numbers (SE_ERR_*) fold many causes into one.
    virtual OsResult<void> shell_execute_open(const std::u16string& path) = 0;
    // MessageBoxW(no owner, text, caption, type); 0 when it fails.
    virtual int message_box(const std::u16string& text, const std::u16string& caption, std::uint32_t type) = 0;
};

}  // namespace quarnet
