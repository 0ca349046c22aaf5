#include "platform/environment.h"

#include <string>

#include "platform/text.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

class WindowsEnvironment final : public Environment {
public:
    EnvironmentValue read(std::string_view name) override {
        auto wide_name = to_utf16_path(name);
        if (!wide_name) return {};
        std::wstring key = to_wide(*wide_name);
        std::wstring value(64, L'\0');
        for (;;) {
            ::SetLastError(ERROR_SUCCESS);
            DWORD length = ::GetEnvironmentVariableW(key.c_str(), value.data(), static_cast<DWORD>(value.size()));
            if (length == 0) {
                // 0 is both "not set" and "set to the empty text"; the last error tells them apart.
                if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return {};
                return {EnvironmentValue::State::Set, {}};
            }
            if (length < value.size()) {
                value.resize(length);
                break;
            }
            value.assign(length, L'\0');  // too small: `length` counts the NUL as well
        }
        auto utf8 = to_utf8_strict(from_wide(value));
        if (!utf8) return {EnvironmentValue::State::NotUnicode, {}};
        return {EnvironmentValue::State::Set, std::move(*utf8)};
    }
};

}  // namespace

std::unique_ptr<Environment> make_environment() { return std::make_unique<WindowsEnvironment>(); }

}  // namespace quarnet::windows
