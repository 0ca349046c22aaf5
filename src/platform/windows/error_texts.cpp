#include "platform/error_texts.h"

#include <optional>

#include "platform/windows/unique_handle.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

constexpr DWORD ALLOCATED_FLAGS =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;  // 0x1300
constexpr DWORD BUFFER_FLAGS = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;        // 0x1200
constexpr DWORD BUFFER_UNITS = 2048;

HMODULE loaded_ntdll() { return ::GetModuleHandleW(L"NTDLL.DLL"); }

class WindowsErrorTexts final : public ErrorTexts {
public:
    std::optional<std::u16string> allocated_text(std::uint32_t code, MessageTable table) override {
        DWORD flags = ALLOCATED_FLAGS;
        // One reference to ntdll.dll for the lookup, dropped after it (the process keeps it loaded anyway).
        UniqueLibrary ntdll;
        if (table == MessageTable::Ntdll) {
            ntdll = UniqueLibrary(::LoadLibraryExA("ntdll.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
            flags |= FORMAT_MESSAGE_FROM_HMODULE;  // 0x1B00
        }
        // With ALLOCATE_BUFFER, lpBuffer is the address of the pointer that receives the text.
        wchar_t* allocated = nullptr;
        DWORD length = ::FormatMessageW(flags, ntdll.get(), code, 0, reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
        UniqueLocalText text(allocated);
        if (length == 0 || !text.valid()) return std::nullopt;
        return std::u16string(reinterpret_cast<const char16_t*>(text.get()), length);
    }

    Expected<std::u16string, std::uint32_t> buffer_text(std::uint32_t code, MessageTable table) override {
        DWORD flags = BUFFER_FLAGS;
        HMODULE module = nullptr;
        if (table == MessageTable::Ntdll) {
            module = loaded_ntdll();
            if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;  // 0x1A00
        }
        wchar_t buffer[BUFFER_UNITS];
        DWORD length = ::FormatMessageW(flags, module, code, 0, buffer, BUFFER_UNITS, nullptr);
        if (length == 0) return std::unexpected(static_cast<std::uint32_t>(::GetLastError()));
        return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
    }

    bool ntdll_loaded() override { return loaded_ntdll() != nullptr; }
};

}  // namespace

std::unique_ptr<ErrorTexts> make_error_texts() { return std::make_unique<WindowsErrorTexts>(); }

}  // namespace quarnet::windows
