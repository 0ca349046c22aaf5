#include "platform/win_http.h"

#include "platform/windows/system_library.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#include "platform/windows/windows_platform.h"

// After windows_api.h, so the same settings hold for it.
#include <winhttp.h>

namespace quarnet::windows {
namespace {

static_assert(HTTP_AUTH_SCHEME_NTLM == WINHTTP_AUTH_SCHEME_NTLM &&
              HTTP_AUTH_SCHEME_NEGOTIATE == WINHTTP_AUTH_SCHEME_NEGOTIATE &&
              HTTP_AUTH_TARGET_PROXY == WINHTTP_AUTH_TARGET_PROXY &&
              ERROR_HTTP_RESEND_REQUEST == ERROR_WINHTTP_RESEND_REQUEST);

// The WinHTTP functions, found once in winhttp.dll from System32. When the DLL
// or a function is missing, each call fails as WinHTTP itself would.
struct WinHttpCalls {
    decltype(&::WinHttpOpen) open = nullptr;
    decltype(&::WinHttpSetTimeouts) set_timeouts = nullptr;
    decltype(&::WinHttpConnect) connect = nullptr;
    decltype(&::WinHttpOpenRequest) open_request = nullptr;
    decltype(&::WinHttpSendRequest) send_request = nullptr;
    decltype(&::WinHttpReceiveResponse) receive_response = nullptr;
    decltype(&::WinHttpQueryHeaders) query_headers = nullptr;
    decltype(&::WinHttpQueryOption) query_option = nullptr;
    decltype(&::WinHttpQueryAuthSchemes) query_auth_schemes = nullptr;
    decltype(&::WinHttpSetCredentials) set_credentials = nullptr;
    decltype(&::WinHttpReadData) read_data = nullptr;
    decltype(&::WinHttpCloseHandle) close_handle = nullptr;
};

const WinHttpCalls& calls() {
    static const WinHttpCalls found = [] {
        const SystemLibrary& library = winhttp_library();
        WinHttpCalls c;
        c.open = library.find<decltype(&::WinHttpOpen)>("WinHttpOpen");
        c.set_timeouts = library.find<decltype(&::WinHttpSetTimeouts)>("WinHttpSetTimeouts");
        c.connect = library.find<decltype(&::WinHttpConnect)>("WinHttpConnect");
        c.open_request = library.find<decltype(&::WinHttpOpenRequest)>("WinHttpOpenRequest");
        c.send_request = library.find<decltype(&::WinHttpSendRequest)>("WinHttpSendRequest");
        c.receive_response = library.find<decltype(&::WinHttpReceiveResponse)>("WinHttpReceiveResponse");
        c.query_headers = library.find<decltype(&::WinHttpQueryHeaders)>("WinHttpQueryHeaders");
        c.query_option = library.find<decltype(&::WinHttpQueryOption)>("WinHttpQueryOption");
        c.query_auth_schemes = library.find<decltype(&::WinHttpQueryAuthSchemes)>("WinHttpQueryAuthSchemes");
        c.set_credentials = library.find<decltype(&::WinHttpSetCredentials)>("WinHttpSetCredentials");
        c.read_data = library.find<decltype(&::WinHttpReadData)>("WinHttpReadData");
        c.close_handle = library.find<decltype(&::WinHttpCloseHandle)>("WinHttpCloseHandle");
        return c;
    }();
    return found;
}

std::uint32_t last_error() { return static_cast<std::uint32_t>(::GetLastError()); }

class WindowsWinHttp final : public WinHttp {
public:
    HttpHandle open_session(const std::u16string& user_agent) override {
        if (calls().open == nullptr) return nullptr;
        std::wstring agent = to_wide(user_agent);
        return calls().open(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
    }

    void set_timeouts(HttpHandle session, HttpTimeouts timeouts) override {
        if (calls().set_timeouts == nullptr) return;
        calls().set_timeouts(session, timeouts.resolve_ms, timeouts.connect_ms, timeouts.send_ms, timeouts.receive_ms);
    }

    HttpHandle connect(HttpHandle session, const std::u16string& host, std::uint16_t port) override {
        if (calls().connect == nullptr) return nullptr;
        std::wstring wide_host = to_wide(host);
        return calls().connect(session, wide_host.c_str(), port, 0);
    }

    HttpHandle open_request(HttpHandle connection, const std::u16string& path, std::uint32_t flags) override {
        if (calls().open_request == nullptr) return nullptr;
        std::wstring wide_path = to_wide(path);
        return calls().open_request(connection, L"GET", wide_path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
    }

    std::expected<void, std::uint32_t> send_request(HttpHandle request, std::u16string_view headers) override {
        if (calls().send_request == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        // The headers go without a terminator, with their length in UTF-16 units.
        std::wstring wide_headers(headers.begin(), headers.end());
        BOOL sent = calls().send_request(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide_headers.data(),
                                         static_cast<DWORD>(wide_headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        if (!sent) return std::unexpected(last_error());
        return {};
    }

    std::expected<void, std::uint32_t> receive_response(HttpHandle request) override {
        if (calls().receive_response == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        if (!calls().receive_response(request, nullptr)) return std::unexpected(last_error());
        return {};
    }

    std::optional<std::uint32_t> query_status(HttpHandle request) override {
        if (calls().query_headers == nullptr) return std::nullopt;
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!calls().query_headers(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            return std::nullopt;
        return static_cast<std::uint32_t>(status);
    }

    std::optional<bool> went_through_proxy(HttpHandle request) override {
        if (calls().query_option == nullptr) return std::nullopt;
        // Room beyond the entry, in case the proxy's name is given after it.
        union {
            WINHTTP_PROXY_RESULT_ENTRY entry;
            std::byte room[1024];
        } answer{};
        DWORD size = sizeof answer;
        if (!calls().query_option(request, WINHTTP_OPTION_PROXY_RESULT_ENTRY, &answer, &size) ||
            size < sizeof answer.entry)
            return std::nullopt;
        return answer.entry.fProxy != FALSE;
    }

    std::optional<HttpAuthSchemes> query_auth_schemes(HttpHandle request) override {
        if (calls().query_auth_schemes == nullptr) return std::nullopt;
        DWORD supported = 0;
        DWORD first = 0;
        DWORD target = 0;
        if (!calls().query_auth_schemes(request, &supported, &first, &target)) return std::nullopt;
        return HttpAuthSchemes{supported, target};
    }

    bool set_logon_credentials(HttpHandle request, std::uint32_t target, std::uint32_t scheme) override {
        return calls().set_credentials != nullptr &&
               calls().set_credentials(request, target, scheme, nullptr, nullptr, nullptr);
    }

    std::expected<std::size_t, std::uint32_t> read_data(HttpHandle request, std::span<std::byte> buffer) override {
        if (calls().read_data == nullptr) return std::unexpected(std::uint32_t{ERROR_PROC_NOT_FOUND});
        DWORD count = 0;
        if (!calls().read_data(request, buffer.data(), static_cast<DWORD>(buffer.size()), &count))
            return std::unexpected(last_error());
        return static_cast<std::size_t>(count);
    }

    void close_handle(HttpHandle handle) override {
        if (handle != nullptr && calls().close_handle != nullptr) calls().close_handle(handle);
    }
};

}  // namespace

std::unique_ptr<WinHttp> make_win_http() { return std::make_unique<WindowsWinHttp>(); }

}  // namespace quarnet::windows
