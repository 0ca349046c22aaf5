#pragma once
// COM, the shell and the user interface: the few calls the driver makes itself.

#include <cstdint>
#include <memory>
#include <string>

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
    // ShellExecuteW(no owner, "open", path, no parameters, no directory, SW_SHOWNORMAL),
    // its result as a signed number; SE_ERR_SHARE (26) for any refusal whose last
    // error is a sharing or lock violation.
    virtual std::intptr_t shell_execute_open(const std::u16string& path) = 0;
    // MessageBoxW(no owner, text, caption, type); 0 when it fails.
    virtual int message_box(const std::u16string& text, const std::u16string& caption, std::uint32_t type) = 0;
};

}  // namespace quarnet
