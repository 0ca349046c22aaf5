#include "platform/single_instance.h"

#include "platform/windows/folder_security.h"
#include "platform/windows/system_library.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

// SYNCHRONIZE and MUTANT_QUERY_STATE for the user, SYSTEM and the Administrators group.
constexpr std::wstring_view MUTEX_SDDL = L"D:(A;;0x100001;;;{user})(A;;0x100001;;;SY)(A;;0x100001;;;BA)";

class WindowsSingleInstance final : public SingleInstance {
public:
    InstanceClaim claim() override {
        // The session's namespace: another user's copy on the same machine is no twin.
        // The user's copies, elevated or not, may all wait on it, whichever made it:
        // that is all they ask for.
        auto descriptor = descriptor_for_user(std::wstring(MUTEX_SDDL));
        if (!descriptor) return InstanceClaim::Unavailable;
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor->get(), FALSE};
        mutex_ = UniqueKernelHandle(::CreateMutexExW(&attributes, L"Local\\Quarnet-setup", 0, SYNCHRONIZE));
        if (!mutex_.valid()) {
            return ::GetLastError() == ERROR_ACCESS_DENIED ? InstanceClaim::Denied : InstanceClaim::Unavailable;
        }
        switch (::WaitForSingleObject(mutex_.get(), 0)) {
            case WAIT_OBJECT_0:
                return InstanceClaim::Taken;
            case WAIT_ABANDONED:
                return InstanceClaim::Abandoned;
            case WAIT_TIMEOUT:
                mutex_.reset();
                return InstanceClaim::HeldElsewhere;
            default:
                mutex_.reset();
                return InstanceClaim::Unavailable;
        }
    }

    bool bring_forward(const std::u16string& caption) override {
        auto find_window = SYSTEM_FUNCTION(user32_library, FindWindowW);
        auto set_foreground = SYSTEM_FUNCTION(user32_library, SetForegroundWindow);
        if (find_window == nullptr || set_foreground == nullptr) return false;
        std::wstring title = to_wide(caption);
        HWND window = find_window(nullptr, title.c_str());
        if (window == nullptr) return false;
        set_foreground(window);
        return true;
    }

private:
    UniqueKernelHandle mutex_;  // owned by this thread until the process ends
};

}  // namespace

std::unique_ptr<SingleInstance> make_single_instance() { return std::make_unique<WindowsSingleInstance>(); }

}  // namespace quarnet::windows
