#include "platform/shell.h"

#include <utility>

#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

// After windows_api.h, so the same settings hold for the COM and shell headers.
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

namespace quarnet::windows {
namespace {

// Spelled out here rather than taken from libuuid, so nothing but the loader is linked.
constexpr CLSID PROGRESS_DIALOG_CLASS = {0xF8383852, 0xFCD3, 0x11D1, {0xA6, 0xB9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};
constexpr IID PROGRESS_DIALOG_INTERFACE = {
    0xEBBC7C04, 0x315E, 0x11D2, {0xB6, 0x2F, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

// Owns one reference to the dialog object.
class ShellProgressDialog final : public ProgressDialog {
public:
    explicit ShellProgressDialog(UniqueComPointer<IProgressDialog> dialog) : dialog_(std::move(dialog)) {}

    bool set_title(const std::u16string& title) override {
        std::wstring wide = to_wide(title);
        return SUCCEEDED(dialog_.get()->SetTitle(wide.c_str()));
    }
    bool start() override {
        return SUCCEEDED(
            dialog_.get()->StartProgressDialog(nullptr, nullptr, PROGDLG_AUTOTIME | PROGDLG_NOMINIMIZE, nullptr));
    }
    void set_line(std::uint32_t line, const std::u16string& text) override {
        std::wstring wide = to_wide(text);
        dialog_.get()->SetLine(line, wide.c_str(), FALSE, nullptr);
    }
    void set_progress(std::uint64_t completed, std::uint64_t total) override {
        dialog_.get()->SetProgress64(completed, total);
    }
    void reset_timer() override { dialog_.get()->Timer(PDTIMER_RESET, nullptr); }
    bool has_user_cancelled() override { return dialog_.get()->HasUserCancelled() != FALSE; }
    void stop() override { dialog_.get()->StopProgressDialog(); }

private:
    UniqueComPointer<IProgressDialog> dialog_;
};

class WindowsShell final : public Shell {
public:
    void initialize_com() override {
        auto co_initialize_ex = SYSTEM_FUNCTION(ole32_library, CoInitializeEx);
        if (co_initialize_ex != nullptr) co_initialize_ex(nullptr, COINIT_APARTMENTTHREADED);
    }

    std::unique_ptr<ProgressDialog> create_progress_dialog() override {
        auto co_create_instance = SYSTEM_FUNCTION(ole32_library, CoCreateInstance);
        if (co_create_instance == nullptr) return nullptr;
        void* object = nullptr;
        HRESULT result = co_create_instance(PROGRESS_DIALOG_CLASS, nullptr, CLSCTX_INPROC_SERVER,
                                            PROGRESS_DIALOG_INTERFACE, &object);
        // Owned at once, so a failing result that still gave a pointer releases it.
        UniqueComPointer<IProgressDialog> dialog(static_cast<IProgressDialog*>(object));
        if (FAILED(result) || !dialog.valid()) return nullptr;
        return std::make_unique<ShellProgressDialog>(std::move(dialog));
    }

    OsResult<void> shell_execute_open(const std::u16string& path) override {
        auto shell_execute = SYSTEM_FUNCTION(shell32_library, ShellExecuteExW);
        if (shell_execute == nullptr)
            return std::unexpected(OsError::from_code(ERROR_PROC_NOT_FOUND, "ShellExecuteExW"));
        std::wstring file = to_wide(path);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
        info.lpVerb = L"open";
        info.lpFile = file.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (shell_execute(&info)) return {};
        DWORD error = ::GetLastError();
        // Its page promises the last error; without one, the shell's own number still tells a refusal.
        if (error == ERROR_SUCCESS) error = static_cast<DWORD>(reinterpret_cast<std::intptr_t>(info.hInstApp));
        return std::unexpected(OsError::from_code(error, "ShellExecuteExW"));
    }

    int message_box(const std::u16string& text, const std::u16string& caption, std::uint32_t type) override {
        auto message_box_w = SYSTEM_FUNCTION(user32_library, MessageBoxW);
        if (message_box_w == nullptr) return 0;
        std::wstring wide_text = to_wide(text);
        std::wstring wide_caption = to_wide(caption);
        return message_box_w(nullptr, wide_text.c_str(), wide_caption.c_str(), type);
    }
};

}  // namespace

std::unique_ptr<Shell> make_shell() { return std::make_unique<WindowsShell>(); }

}  // namespace quarnet::windows
