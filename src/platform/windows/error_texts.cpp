#include "platform/error_texts.h"

#include <optional>

#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

namespace quarnet::windows {
namespace {

constexpr DWORD ALLOCATED_FLAGS =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;  // 0x1300
constexpr DWORD BUFFER_FLAGS = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;        // 0x1200
constexpr DWORD BUFFER_UNITS = 2048;

// The text FormatMessageW allocated, freed with LocalFree.
class LocalText {
public:
    LocalText() = default;
    ~LocalText() {
        if (text_ != nullptr) ::LocalFree(text_);
    }
    LocalText(const LocalText&) = delete;
    LocalText& operator=(const LocalText&) = delete;

    // FormatMessageW's lpBuffer when it allocates: the address of the pointer, cast.
    LPWSTR receiver() { return reinterpret_cast<LPWSTR>(&text_); }
    const wchar_t* get() const { return text_; }

private:
    wchar_t* text_ = nullptr;
};

// One reference to ntdll.dll, dropped again after the lookup (the process keeps it loaded anyway).
class NtdllReference {
public:
    NtdllReference() : module_(::LoadLibraryExA("ntdll.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) {}
    ~NtdllReference() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    NtdllReference(const NtdllReference&) = delete;
    NtdllReference& operator=(const NtdllReference&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

HMODULE loaded_ntdll() { return ::GetModuleHandleW(L"NTDLL.DLL"); }

class WindowsErrorTexts final : public ErrorTexts {
public:
    std::optional<std::u16string> allocated_text(std::uint32_t code, MessageTable table) override {
        DWORD flags = ALLOCATED_FLAGS;
        std::optional<NtdllReference> ntdll;
        HMODULE module = nullptr;
        if (table == MessageTable::Ntdll) {
            module = ntdll.emplace().get();
            flags |= FORMAT_MESSAGE_FROM_HMODULE;  // 0x1B00
        }
        LocalText text;
        DWORD length = ::FormatMessageW(flags, module, code, 0, text.receiver(), 0, nullptr);
        if (length == 0 || text.get() == nullptr) return std::nullopt;
        return std::u16string(reinterpret_cast<const char16_t*>(text.get()), length);
    }

    std::expected<std::u16string, std::uint32_t> buffer_text(std::uint32_t code, MessageTable table) override {
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
